#!/usr/bin/env bash
# Start-up benchmark of the Linux program against a raw-Xlib floor program
# that shows the same picture in the same shaped window (bench/linux/floor.cpp).
# Both run on one virtual display (Xvfb, no window manager), alternating, and
# the script prints the medians of the time from exec to the first frame on
# the screen and of the peak resident memory, and their ratios.
#
#   bench/linux/run_benchmark.sh [ROUNDS]      (default 21 rounds)
#
# Needs the packages of tools/packages.txt; builds the `linux` preset's program.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
rounds=${1:-21}
out="$root/build/bench-linux"
mkdir -p "$out"

if [ ! -f "$root/build/linux/CMakeCache.txt" ]; then
  cmake --preset linux -S "$root" >/dev/null
fi
cmake --build "$root/build/linux" --target Avendrel -j2 >/dev/null
program="$root/build/linux/app/Avendrel"
artwork=$(sed -n 's/^AVENDREL_ARTWORK:FILEPATH=//p' "$root/build/linux/CMakeCache.txt")
artwork=${artwork:-$root/resources/artwork.png}
g++ -std=c++20 -O2 -o "$out/floor" "$here/floor.cpp" -lX11 -lXext -lpng
g++ -std=c++20 -O2 -o "$out/first_frame" "$here/first_frame.cpp" -lX11

xvfb_log="$out/xvfb.log"
# -noreset: no server reset (and refused connections) each time the last client leaves.
coproc XVFB { exec Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp -noreset 2>"$xvfb_log"; }
xvfb_pid=$XVFB_PID
trap 'kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true' EXIT
read -r -t 20 number <&"${XVFB[0]}" || { echo "benchmark: Xvfb did not start" >&2; exit 1; }
display=":$number"

# Runs one start; prints "milliseconds kilobytes".
measure() {
  env -i PATH=/usr/bin:/bin HOME="$out" DISPLAY="$display" "$out/first_frame" "$@"
}

# One warm-up start of each, so that both find their files in the page cache.
measure "$program" >/dev/null
measure "$out/floor" "$artwork" >/dev/null

: >"$out/program.txt"
: >"$out/floor.txt"
for ((i = 0; i < rounds; i++)); do
  # Alternate which goes first, so neither always runs on a just-woken machine.
  if ((i % 2 == 0)); then
    measure "$program" >>"$out/program.txt"
    measure "$out/floor" "$artwork" >>"$out/floor.txt"
  else
    measure "$out/floor" "$artwork" >>"$out/floor.txt"
    measure "$program" >>"$out/program.txt"
  fi
done

median() {  # column of file
  awk -v c="$2" '{print $c}' "$1" | sort -g | awk '{v[NR]=$1} END {
    if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
p_ms=$(median "$out/program.txt" 1); f_ms=$(median "$out/floor.txt" 1)
p_kb=$(median "$out/program.txt" 2); f_kb=$(median "$out/floor.txt" 2)
awk -v pm="$p_ms" -v fm="$f_ms" -v pk="$p_kb" -v fk="$f_kb" -v n="$rounds" 'BEGIN {
  printf "%d rounds, medians (exec to first frame on the screen; peak RSS)\n", n
  printf "  %-10s %8.2f ms %8.2f MB\n", "Avendrel", pm, pk / 1024
  printf "  %-10s %8.2f ms %8.2f MB\n", "floor", fm, fk / 1024
  printf "  %-10s %8.2fx   %8.2fx    (goal: at most 1.50x)\n", "ratio", pm / fm, pk / fk
}'
