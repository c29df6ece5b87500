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

# The x86 stub's tests run their 32-bit processes under qemu-i386 where the
# machine cannot execute them. Bookworm's qemu-user 7.2 ignores
# MAP_FIXED_NOREPLACE, and every 32-bit Wine process then spends about a
# minute probing memory; 8.1 and later work. That one package comes from
# bookworm-backports; bookworm stays the default release for the rest.
backports=(qemu-user)
backports_min=1:8.1

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
missing_backports=()
for p in "${backports[@]}"; do
  if ! installed "$p" || ! dpkg --compare-versions \
       "$(dpkg-query -W -f='${Version}' "$p")" ge "$backports_min"; then
    missing_backports+=("$p/bookworm-backports")
  fi
done
[ ${#missing[@]} -eq 0 ] && [ ${#missing_backports[@]} -eq 0 ] && exit 0

SUDO=
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  $SUDO tee /etc/apt/sources.list.d/bookworm-backports.sources >/dev/null <<'EOF'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
fi
# A failed i386 security index is reported but must not stop the set-up.
$SUDO apt-get update || true
$SUDO apt-get install -y --no-install-recommends \
  -o APT::Default-Release=bookworm "${missing[@]}" "${missing_backports[@]}"
