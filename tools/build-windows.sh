#!/usr/bin/env bash
# Builds the shipped program: the 32-bit Windows Avendrel.exe (i686, PE32, GUI
# subsystem, linked statically), and puts it in dist/windows-x86/ with
# SHA256SUMS beside it (check a download with `sha256sum -c SHA256SUMS` in the
# folder that holds both). Installs the missing Debian packages first (needs
# root for that).
#
# The build is reproducible: the same sources give the same bytes in any
# folder at any time. The executable's time stamp is SOURCE_DATE_EPOCH when
# it is set, else the date of the last commit, else none.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || true)
fi
export SOURCE_DATE_EPOCH
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86 --target Avendrel
mkdir -p dist/windows-x86
cp build/windows-x86/Avendrel.exe dist/windows-x86/Avendrel.exe
(cd dist/windows-x86 && sha256sum Avendrel.exe >SHA256SUMS)
echo "dist/windows-x86/Avendrel.exe: $(stat -c %s dist/windows-x86/Avendrel.exe) bytes"
cat dist/windows-x86/SHA256SUMS
