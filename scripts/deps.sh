#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent: it
# touches apt only when something is missing.
set -euo pipefail

packages=(
  g++ make cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  locales dbus-daemon
  # The interface kit: sounds, its faces and the symbol font.
  qt6-multimedia-dev
  fonts-inter fonts-jetbrains-mono fonts-wqy-microhei
  fonts-material-design-icons-iconfont fontconfig
  # Looking at rendered symbols and type under a real X server.
  xvfb xauth imagemagick
  libqt6svg6
  # An XEmbed tray host, and a pointer, for the tray check under Xvfb.
  trayer xdotool x11-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  if [ "$(id -u)" -ne 0 ]; then
    echo "deps: missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The formatting tests also run under a German locale, whose decimal comma
# must never leak into our texts.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  if [ "$(id -u)" -eq 0 ]; then
    localedef -i de_DE -f UTF-8 de_DE.UTF-8 >/dev/null 2>&1 || true
  fi
fi
exit 0
