#!/usr/bin/env bash
# Installs the cross toolchain, Wine and the test tools on Debian 12. Safe to run again.
set -euo pipefail

packages=(
  cmake python3 g++-mingw-w64-i686-posix googletest
  wine wine32:i386 osslsigncode openssl nginx-light curl time
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  as_root apt-get update -q
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
