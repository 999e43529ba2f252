#!/usr/bin/env bash
# Installs the Debian packages that are missing, builds every configuration
# (native, native with sanitizers, 32-bit and 64-bit Windows, the fuzzers),
# runs every test and fuzzes every reader of outside bytes for
# AVENDREL_FUZZ_SECONDS (60) s each. Run it as root on a fresh Debian 12
# machine; it needs nothing else.
#
# Every stage runs, also after one has failed, so that one failure never
# hides the state of the others. The run ends with one summary, a line per
# stage (passed, failed, or skipped with its reason), and a non-zero status
# when any stage failed.
set -uo pipefail
cd "$(dirname "$0")/.."

stages=()
results=()
failed=0

# stage NAME COMMAND...: runs the command as one stage and records its result.
stage() {
  local name=$1
  shift
  echo "== $name"
  if "$@"; then
    stages+=("$name")
    results+=("passed")
  else
    local status=$?
    stages+=("$name")
    results+=("FAILED (status $status)")
    failed=1
    echo "== $name: FAILED (status $status)"
  fi
}

# skipped NAME REASON: records a stage left out, with the reason.
skipped() {
  echo "== $1: SKIPPED: $2"
  stages+=("$1")
  results+=("skipped: $2")
}

configure_and_build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1"
}

stage "install the packages" tools/install-deps.sh
stage "install 32-bit Wine" tools/install-wine32.sh

for preset in linux linux-sanitize windows-x86 windows-x64 linux-fuzz; do
  stage "build $preset" configure_and_build "$preset"
done

# A machine whose kernel runs no 32-bit code cannot run the 32-bit Windows
# build at all: only the probe's positive verdict "refused" (status 3, with
# its reason) leaves those tests out. A probe that cannot tell, or fails,
# leaves them in, and they fail loudly if they fail.
ia32_status=0
ia32=$(/usr/bin/python3 tests/wine/ia32_code.py) || ia32_status=$?
echo "== 32-bit code probe: $ia32 (status $ia32_status)"
ia32_refused=0
if [ "$ia32_status" = 3 ] && [[ "$ia32" == refused:* ]]; then
  ia32_refused=1
fi

stage "test linux" ctest --preset linux
if [ "$ia32_refused" = 1 ]; then
  # They are part of "test linux", where CTest reports them as skipped.
  skipped "the 32-bit build's Wine cases (wine.x86.*, wine.wow64.*)" "$ia32"
fi
stage "test linux-sanitize" ctest --preset linux-sanitize

# The core tests of both Windows builds, under Wine.
stage "test windows-x64" ctest --preset windows-x64
if [ "$ia32_refused" = 1 ]; then
  skipped "test windows-x86" "$ia32"
else
  stage "test windows-x86" ctest --preset windows-x86
fi

fuzz_seconds=${AVENDREL_FUZZ_SECONDS:-60}
if [ "$fuzz_seconds" = 0 ]; then
  # No fuzzing; every fuzzer still runs its corpus from the tree once.
  stage "fuzzers: the corpora in the tree only (AVENDREL_FUZZ_SECONDS=0)" tools/fuzz.sh 0
else
  stage "fuzz every reader for $fuzz_seconds s each" tools/fuzz.sh "$fuzz_seconds"
fi

echo
echo "== summary"
for i in "${!stages[@]}"; do
  printf '  %-66s %s\n' "${stages[$i]}" "${results[$i]}"
done
if [ "$failed" != 0 ]; then
  echo "== some stages FAILED"
  exit 1
fi
echo "== every stage passed or was skipped for the reason given"
