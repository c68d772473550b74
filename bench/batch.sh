#!/usr/bin/env bash
# Measures batch mode on two generated productions, into fresh output folders:
#   100,000 documents of one page each, and 1,000 documents of 100 pages each,
# against a text run of one 100-page document (the speed per page it should keep).
# Prints wall and processor time, peak memory and the machine's load average.
# Usage: bench/batch.sh   (RUNS, default 3, sets how many runs each median is taken over)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-3}

cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DBREVANO_BENCH=ON -DBREVANO_TESTS=OFF >/dev/null
cmake --build build/bench -j "$(nproc)" >/dev/null
brevano=$(pwd)/build/bench/Brevano
make=build/bench/bench/MakeBenchPdf
work=build/bench/productions

[ -f "$work/p100000x1/list" ] || "$make" production 100000 1 "$work/p100000x1"
[ -f "$work/p1000x100/list" ] || "$make" production 1000 100 "$work/p1000x100"

echo "Machine: $(nproc) cores, $(uname -sr); runs: median of $runs"
echo
# The median of `runs` runs of a command, each after `prepare` (given the
# run's number): "wall processor peak-KiB", processor being user + system.
median() {
  local prepare=$1; shift
  for run in $(seq "$runs"); do
    eval "$prepare"
    /usr/bin/time -f "%e %U %S %M" "$@" 2>&1 >/dev/null | tail -1
  done | awk '{ print $1, $2 + $3, $4 }' | sort -n | awk -v n="$runs" 'NR == int((n + 1) / 2)'
}
perPage() { awk -v c="$1" -v p="$2" 'BEGIN { printf "%.1f us", c / p * 1e6 }'; }

echo "| production | pages | wall | processor | per page (processor) | peak | load before |"
echo "|---|---|---|---|---|---|---|"
for name in p100000x1 p1000x100; do
  folder="$work/$name"
  pages=$(awk -F x '{ print $1 * $2 }' <<<"${name#p}")
  load=$(cut -d ' ' -f 1 /proc/loadavg)
  # Each run writes into a new folder, as a new production does (out is a
  # link to it). The folders go at the end: ext4 creates files slowly for a
  # few minutes after as many were deleted.
  read -r wall cpu peak < <(median "mkdir \"$folder/out-\$run\" && ln -sfn \"out-\$run\" \"$folder/out\"" \
    "$brevano" batch "$folder/list" -prefix ABC- -one -m6 -log "$folder/log.csv")
  rm -rf "$folder"/out*
  echo "| $name | $pages | ${wall}s | ${cpu}s | $(perPage "$cpu" "$pages") | $((peak / 1024)) MiB | $load |"
done
single="$work/p1000x100/in/000001.pdf"
load=$(cut -d ' ' -f 1 /proc/loadavg)
# Twenty runs a measure, for the timer's resolution.
read -r wall cpu peak < <(median ":" sh -c "for i in \$(seq 20); do '$brevano' text '$single' '$work/single.pdf' -prefix ABC- -one -m6; done")
echo "| one text run, 100 pages | 100 | $(awk -v w="$wall" 'BEGIN { printf "%.4f", w / 20 }')s |" \
     "$(awk -v c="$cpu" 'BEGIN { printf "%.4f", c / 20 }')s | $(perPage "$cpu" 2000) | $((peak / 1024)) MiB | $load |"
