#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent: when all
# packages are present it only checks and returns within seconds.
set -euo pipefail

packages=(
  cmake ninja-build pkg-config
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-tools
  wine wine64 wine32:i386
  xvfb x11-apps imagemagick
  clang libclang-rt-14-dev
  googletest libgtest-dev libbenchmark-dev
  libtomlplusplus-dev
  zlib1g-dev libbz2-dev liblzma-dev
  python3-pefile
  osslsigncode openssl
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
# A failed i386 security index is reported but must not stop the set-up.
$SUDO apt-get update || true
$SUDO apt-get install -y --no-install-recommends \
  -o APT::Default-Release=bookworm "${missing[@]}"
