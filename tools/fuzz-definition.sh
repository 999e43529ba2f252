#!/usr/bin/env bash
# Fuzzes the form definition reader for the given number of seconds (60 by
# default), starting from the real definition. Needs the linux-fuzz build:
#   cmake --preset linux-fuzz && cmake --build --preset linux-fuzz
# A longer run: tools/fuzz-definition.sh 3600
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
fuzzer=build/linux-fuzz/tests/fuzz/definition_fuzzer
work=build/linux-fuzz/fuzz-definition
mkdir -p "$work/corpus" "$work/artifacts"
cp ui/Unit1.toml "$work/corpus/real-definition.toml"
# -timeout flags a hang, -rss_limit_mb runaway memory; leaks are reported by ASan.
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$work/corpus" 2>"$work/log" || {
  tail -40 "$work/log" >&2
  echo "fuzz-definition: the fuzzer found a fault; the input is in $work/artifacts/" >&2
  exit 1
}
grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|^Done' "$work/log"
