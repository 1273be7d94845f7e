#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent: it
# touches apt only when something is missing. Run as yourself: what is
# missing is installed through sudo; without sudo it says what to install
# and stops.
set -euo pipefail

packages=(
  g++ make cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  locales dbus-daemon
  # The tray selection of X11, followed through XFixes.
  libxcb1-dev libxcb-xfixes0-dev
  # The interface kit: sounds, its faces and the symbol font.
  qt6-multimedia-dev
  fonts-inter fonts-jetbrains-mono fonts-wqy-microhei
  fonts-material-design-icons-iconfont fontconfig
  # Colour emoji in process and host names.
  fonts-noto-color-emoji
  # Looking at rendered symbols and type under a real X server.
  xvfb xauth imagemagick
  libqt6svg6
  # An XEmbed tray host, and a pointer, for the tray check under Xvfb.
  trayer xdotool x11-utils
  # The self-updater: the seal's Ed25519 and digests, and zip archives.
  libssl-dev openssl libarchive-dev
)

# Runs a command as root: directly when we are root, else through sudo.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo "$@"
  else
    return 127
  fi
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  install=(apt-get install -y --no-install-recommends "${missing[@]}")
  if [ "$(id -u)" -ne 0 ] && ! command -v sudo >/dev/null 2>&1; then
    echo "deps: missing packages: ${missing[*]}" >&2
    echo "deps: there is no sudo here; as root, run:" >&2
    echo "  apt-get update && ${install[*]}" >&2
    exit 1
  fi
  if [ "$(id -u)" -ne 0 ]; then
    echo "deps: installing ${missing[*]} through sudo"
  else
    echo "deps: installing ${missing[*]}"
  fi
  if ! as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq \
    || ! as_root env DEBIAN_FRONTEND=noninteractive "${install[@]}" -qq >/dev/null; then
    echo "deps: could not install ${missing[*]}; as root, run:" >&2
    echo "  apt-get update && ${install[*]}" >&2
    exit 1
  fi
fi

# The formatting tests also run under a German locale, whose decimal comma
# must never leak into our texts. Without it they run in the C locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  if ! as_root localedef -i de_DE -f UTF-8 de_DE.UTF-8 >/dev/null 2>&1; then
    echo "deps: no de_DE.UTF-8 locale; the German formatting tests run without it." >&2
    echo "deps: to add it, as root: localedef -i de_DE -f UTF-8 de_DE.UTF-8" >&2
  fi
fi
exit 0
