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
# The core tests of both Windows builds, under Wine (the 32-bit one in its WoW64 mode).
for preset in windows-x64 windows-x86; do
  echo "== test $preset"
  ctest --preset "$preset"
done

echo "== fuzz the form definition for ${AVENDREL_FUZZ_SECONDS:=60} s"
cmake --preset linux-fuzz >/dev/null
cmake --build --preset linux-fuzz
tools/fuzz-definition.sh "$AVENDREL_FUZZ_SECONDS"
