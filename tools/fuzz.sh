#!/usr/bin/env bash
# Fuzzes each reader of bytes from outside the program for the given number
# of seconds (60 by default): the form definition, the XSETTINGS property and
# the icon file. Each starts from its corpus in the tree
# (tests/fuzz/corpus/<name>/); what a run adds is kept in
# build/linux-fuzz/fuzz-<name>/corpus. 0 seconds means no fuzzing: each
# fuzzer only runs its corpus once. Needs the linux-fuzz build:
#   cmake --preset linux-fuzz && cmake --build --preset linux-fuzz
# Usage: tools/fuzz.sh [SECONDS] [NAME...]   (NAME: definition, xsettings, icon)
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(definition xsettings icon)
case "$seconds" in
  '' | *[!0-9]*) echo "fuzz: the seconds must be a whole number, not '$seconds'" >&2; exit 2 ;;
esac

failed=0
for name in "${names[@]}"; do
  fuzzer=build/linux-fuzz/tests/fuzz/${name}_fuzzer
  seeds=tests/fuzz/corpus/$name
  work=build/linux-fuzz/fuzz-$name
  if [ ! -x "$fuzzer" ] || [ ! -d "$seeds" ]; then
    echo "fuzz $name: no fuzzer at $fuzzer or no corpus at $seeds" >&2
    failed=1
    continue
  fi
  mkdir -p "$work/corpus" "$work/artifacts"
  if [ "$seconds" = 0 ]; then
    # -runs=0: the corpus is read and run once, nothing new is tried.
    limit=(-runs=0)
  else
    limit=(-max_total_time="$seconds")
  fi
  # -timeout flags a hang, -rss_limit_mb runaway memory; leaks are reported by
  # ASan. New inputs go to the first folder, the work corpus.
  "$fuzzer" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" "$seeds" >"$work/log" 2>&1
  status=$?
  if [ "$status" != 0 ]; then
    tail -40 "$work/log" >&2
    echo "fuzz $name: the fuzzer found a fault (status $status); the input is in $work/artifacts/" >&2
    failed=1
    continue
  fi
  echo "fuzz $name: $seconds s, $(grep -E '^stat::number_of_executed_units' "$work/log" | awk '{print $2}') runs," \
       "peak $(grep -E '^stat::peak_rss_mb' "$work/log" | awk '{print $2}') MB," \
       "corpus: $(ls "$seeds" | wc -l) inputs in the tree, $(ls "$work/corpus" | wc -l) found by the runs so far in $work/corpus"
  grep -E '^Done' "$work/log"
done
exit "$failed"
