#!/usr/bin/env bash
# The release road on the real program: the install rule lays out a bundle
# at any prefix, and the release tools seal, attest and zip it so that the
# verifier takes it, with keys made here and thrown away.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Under umask 002 the install makes its folders 0775, which the sealer
# must set to the 0755 that expansion gives them.
umask 002
cmake --install "$build" --prefix "$work/Tavrin.app" >/dev/null
test -x "$work/Tavrin.app/Contents/bin/tavrin"
grep -q '"CFBundleShortVersionString"' "$work/Tavrin.app/Contents/Info.json"
# The icon in every size a desktop asks for, and the entry that names it
# and the program.
share="$work/Tavrin.app/Contents/share"
for n in 16 22 24 32 48 64 128 256; do
  test -s "$share/icons/hicolor/${n}x${n}/apps/com.morvadel.Tavrin.png"
done
test -s "$share/icons/hicolor/scalable/apps/com.morvadel.Tavrin.svg"
grep -qx 'Icon=com.morvadel.Tavrin' "$share/applications/com.morvadel.Tavrin.desktop"
grep -qx 'Exec=tavrin' "$share/applications/com.morvadel.Tavrin.desktop"

for k in dev release; do
  openssl genpkey -algorithm ed25519 -out "$work/$k.pem" 2>/dev/null
  openssl pkey -in "$work/$k.pem" -pubout -out "$work/$k.pub"
done
"$build/bin/tavrin-seal" seal --dev-key "$work/dev.pem" "$work/Tavrin.app"
"$build/bin/tavrin-seal" attest --release-key "$work/release.pem" "$work/Tavrin.app"
"$build/bin/tavrin-seal" zip "$work/Tavrin.app" "$work/Tavrin.zip"
"$build/bin/tavrin-seal" feed-entry --dev-pub "$work/dev.pub" --release-pub "$work/release.pub" "$work/Tavrin.zip" https://example.invalid/Tavrin.zip | grep -q '"sha256"'

verdict=$("$build/bin/tavrin-update-check" verify --dev-pub "$work/dev.pub" --release-pub "$work/release.pub" \
  --current 0.0.1 "$work/Tavrin.zip")
if [ "$verdict" != ok ]; then
  echo "bundle_check: the sealed bundle was refused: $verdict" >&2
  exit 1
fi
# Keys swapped: the seal must not pass.
verdict=$("$build/bin/tavrin-update-check" verify --dev-pub "$work/release.pub" --release-pub "$work/dev.pub" \
  --current 0.0.1 "$work/Tavrin.zip" || true)
if [ "$verdict" != signatureInvalid ]; then
  echo "bundle_check: a foreign key was taken: $verdict" >&2
  exit 1
fi
echo "bundle_check: ok"
