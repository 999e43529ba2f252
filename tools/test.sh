#!/usr/bin/env bash
# Installs the Debian packages that are missing, builds every configuration
# (native, native with sanitizers, 32-bit and 64-bit Windows) and runs every
# test. Run it as root on a fresh Debian 12 machine; it needs nothing else.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
tools/install-wine32.sh

for preset in linux linux-sanitize windows-x86 windows-x64; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

echo "== test linux"
ctest --preset linux
echo "== test linux-sanitize"
ctest --preset linux-sanitize
# The core tests of both Windows builds, under Wine (the 32-bit one in its
# WoW64 mode). A machine whose kernel runs no 32-bit code cannot run the
# 32-bit build at all; that is said, and those tests are left out.
ia32_status=0
ia32=$(/usr/bin/python3 tests/wine/ia32_code.py) || ia32_status=$?
for preset in windows-x64 windows-x86; do
  if [ "$preset" = windows-x86 ] && [ "$ia32_status" = 1 ]; then
    echo "== test $preset: SKIPPED: $ia32"
    continue
  fi
  echo "== test $preset"
  ctest --preset "$preset"
done

echo "== fuzz the form definition for ${AVENDREL_FUZZ_SECONDS:=60} s"
cmake --preset linux-fuzz >/dev/null
cmake --build --preset linux-fuzz
tools/fuzz-definition.sh "$AVENDREL_FUZZ_SECONDS"
