#!/usr/bin/env bash
# Puts Wine's 32-bit Windows libraries beside wine64's own, so that wine64
# runs 32-bit programs in its WoW64 mode (no 32-bit code of the machine runs).
# Debian ships them in libwine:i386; only its Windows half is taken from the
# package, which is extracted, not installed. Does nothing when the libraries
# of wine64's version are in place; prints one line either way.
set -euo pipefail

target=/usr/lib/x86_64-linux-gnu/wine/i386-windows
stamp=$target/.libwine-i386-version

version=$(dpkg-query -W -f='${Version}' wine64 2>/dev/null || true)
if [ -z "$version" ]; then
  echo "install-wine32: wine64 is not installed" >&2
  exit 1
fi
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] && [ -f "$target/ntdll.dll" ] \
   && [ -f "$target/winex11.drv" ]; then
  echo "install-wine32: the 32-bit Wine libraries $version are in place"
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "install-wine32: the 32-bit Wine libraries are missing and adding them needs root" >&2
  exit 1
fi

apt=(apt-get -q -o DPkg::Lock::Timeout=900)
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The package of exactly wine64's version; the lists are refreshed only when
# they do not know it yet.
if ! (cd "$scratch" && "${apt[@]}" download "libwine:i386=$version") >"$scratch/log" 2>&1; then
  "${apt[@]}" update >"$scratch/log" 2>&1 || { cat "$scratch/log" >&2; exit 1; }
  (cd "$scratch" && "${apt[@]}" download "libwine:i386=$version") >"$scratch/log" 2>&1 \
    || { cat "$scratch/log" >&2; exit 1; }
fi
dpkg-deb -x "$scratch"/libwine_*_i386.deb "$scratch/root"
source=$scratch/root/usr/lib/i386-linux-gnu/wine/i386-windows
if [ ! -f "$source/ntdll.dll" ]; then
  echo "install-wine32: libwine:i386 $version holds no 32-bit Windows libraries" >&2
  exit 1
fi
mkdir -p "$target"
# wine64's package owns the zlib1.dll already there: it is kept as it is.
count=0
for file in "$source"/*; do
  name=$(basename "$file")
  if [ "$name" = zlib1.dll ] && [ -e "$target/$name" ]; then continue; fi
  cp -f "$file" "$target/$name"
  count=$((count + 1))
done
echo "$version" >"$stamp"
echo "install-wine32: added $count 32-bit Wine libraries $version from libwine:i386 to $target"
