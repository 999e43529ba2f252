#!/usr/bin/env bash
# Installs Debian's 32-bit Wine (wine32:i386, the classic 32-bit loader
# /usr/lib/wine/wine beside wine64), which runs the shipped 32-bit
# Avendrel.exe the way a Debian user runs 32-bit Windows programs. Adds the
# i386 architecture and refreshes the package lists only when they are
# needed; does nothing when the package of wine64's version is installed.
# Prints one line either way (apt's own output goes to a log, shown on failure).
set -euo pipefail

loader=/usr/lib/wine/wine
version=$(dpkg-query -W -f='${Version}' wine64 2>/dev/null || true)
if [ -z "$version" ]; then
  echo "install-wine32: wine64 is not installed (tools/install-deps.sh installs it)" >&2
  exit 1
fi
# An earlier set-up copied libwine:i386's Windows libraries into wine64's own
# folder (leaving a stamp there); those copies are removed, so that wine64 is
# as its package made it. wine64's own zlib1.dll there is kept.
copies=/usr/lib/x86_64-linux-gnu/wine/i386-windows
remove_copies() {
  [ -f "$copies/.libwine-i386-version" ] || return 0
  dpkg-query -L libwine:i386 | grep '/i386-windows/' | xargs -r -n1 basename | grep -vx zlib1.dll \
    | while read -r name; do rm -f "$copies/$name"; done
  rm -f "$copies/.libwine-i386-version"
}

installed=$(dpkg-query -W -f='${db:Status-Status} ${Version}' wine32:i386 2>/dev/null || true)
if [ "$installed" = "installed $version" ] && [ -x "$loader" ]; then
  [ "$(id -u)" -ne 0 ] || remove_copies
  echo "install-wine32: the 32-bit Wine $version (wine32:i386) is installed"
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "install-wine32: the 32-bit Wine (wine32:i386) is missing and installing it needs root" >&2
  exit 1
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
fail() {
  cat "$log" >&2
  echo "install-wine32: $1" >&2
  exit 1
}
apt=(apt-get -q -y -o DPkg::Lock::Timeout=600)
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
# The lists are refreshed only when they do not offer the 32-bit package of
# exactly wine64's version (a new architecture's lists are empty).
offered() {
  apt-cache madison wine32:i386 2>/dev/null | awk -F'|' '{gsub(/ /, "", $2); print $2}' \
    | grep -qxF "$version"
}
if ! offered; then
  "${apt[@]}" update >"$log" 2>&1 || fail "apt-get update failed"
  offered || fail "no wine32:i386 $version in the package lists"
fi
DEBIAN_FRONTEND=noninteractive "${apt[@]}" install "wine32:i386=$version" >"$log" 2>&1 \
  || fail "apt-get install wine32:i386=$version failed"
[ -x "$loader" ] || fail "wine32:i386 $version is installed but $loader is missing"
remove_copies
echo "install-wine32: installed the 32-bit Wine $version (wine32:i386)"
