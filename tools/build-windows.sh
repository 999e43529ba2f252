#!/usr/bin/env bash
# Builds the shipped program: the 32-bit Windows Avendrel.exe (i686, PE32, GUI
# subsystem, linked statically), and puts it in dist/windows-x86/. Installs
# the missing Debian packages first (needs root for that).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86
mkdir -p dist/windows-x86
cp build/windows-x86/Avendrel.exe dist/windows-x86/Avendrel.exe
echo "dist/windows-x86/Avendrel.exe: $(stat -c %s dist/windows-x86/Avendrel.exe) bytes"
