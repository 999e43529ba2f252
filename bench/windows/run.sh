#!/usr/bin/env bash
# Builds the minimal layered-window program and compares its start-up under
# Wine with that of the 64-bit Avendrel.exe (build the windows-x64 preset
# first). Usage: bench/windows/run.sh [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=${AVENDREL_WINDOWS_X64_DIR:-$root/build/windows-x64}/Avendrel.exe
[ -f "$exe" ] || { echo "run: $exe is missing; build the windows-x64 preset first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -Wall -Wextra -municode -mwindows -static \
  -o "$work/Minimal.exe" "$here/minimal_layered.cpp"
/usr/bin/python3 "$here/startup.py" "$exe" "$work/Minimal.exe" "${1:-11}"
