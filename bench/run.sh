#!/usr/bin/env bash
# Measures Brevano against copying the file (cp) and against a plain rewrite
# (qpdf in.pdf out.pdf) on four documents it builds the same way every time:
#   a  2,000 pages of text, classic cross-reference table
#   b  the same with object streams and a cross-reference stream (qpdf)
#   c  5,000 pages, each with a picture of its own (175 MB)
#   d  20,000 pages with many small objects, and d2 with 40,000 for linearity
# and then a's 2,000 pages stamped with an embedded font: Latin, Arabic and
# Chinese prefixes, each with -fontfile (the other scripts should stay within
# 1.2 times the Latin run).
# Usage: bench/run.sh [--large]   (--large also stamps a file beyond 2 GiB)
# RUNS (default 5) sets how many runs each median is taken over.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-5}

scripts/install-deps.sh test >/dev/null
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DBREVANO_BENCH=ON -DBREVANO_TESTS=OFF >/dev/null
cmake --build build/bench -j "$(nproc)" >/dev/null
brevano=build/bench/Brevano
make=build/bench/bench/MakeBenchPdf
measure=build/bench/bench/Measure
picture=tests/data/picture-640x480.jpg
inputs=build/bench/inputs
work=build/bench/work
mkdir -p "$inputs" "$work"

[ -f "$inputs/a.pdf" ] || "$make" text 2000 "$inputs/a.pdf"
[ -f "$inputs/b.pdf" ] || qpdf --object-streams=generate "$inputs/a.pdf" "$inputs/b.pdf"
[ -f "$inputs/c.pdf" ] || "$make" images 5000 "$picture" "$inputs/c.pdf"
[ -f "$inputs/d.pdf" ] || "$make" small 20000 "$inputs/d.pdf"
[ -f "$inputs/d2.pdf" ] || "$make" small 40000 "$inputs/d2.pdf"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.0f", k / 1024 }'; }

echo "Machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), $(uname -sr); runs: median of $runs"
echo
echo "| input | size | cp | qpdf | text | text/cp | text/qpdf | text peak | image | image/cp | image/qpdf | image peak |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|"
for name in a b c d d2; do
  in="$inputs/$name.pdf"
  size=$(awk -v b="$(stat -c %s "$in")" 'BEGIN { printf "%.1f MB", b / 1e6 }')
  read -r cp _ < <("$measure" "$runs" cp "$in" "$work/cp.pdf")
  read -r qpdf _ < <("$measure" "$runs" qpdf "$in" "$work/qpdf.pdf")
  read -r text textPeak < <("$measure" "$runs" "$brevano" text "$in" "$work/text.pdf")
  read -r image imagePeak < <("$measure" "$runs" "$brevano" image "$in" "$work/image.pdf" "-j$picture")
  echo "| $name | $size | ${cp}s | ${qpdf}s | ${text}s | $(ratio "$text" "$cp") | $(ratio "$text" "$qpdf") |" \
       "$(mib "$textPeak") MiB | ${image}s | $(ratio "$image" "$cp") | $(ratio "$image" "$qpdf") | $(mib "$imagePeak") MiB |"
  rm -f "$work"/*.pdf
done

fonts=/usr/share/fonts/truetype
echo
echo "| a with -fontfile | font | text | text/Latin | peak |"
echo "|---|---|---|---|---|"
latin=
for run in "Latin|dejavu/DejaVuSans.ttf|Page | / " "Arabic|noto/NotoNaskhArabic-Regular.ttf|صفحة | من " \
           "Chinese|wqy/wqy-microhei.ttc|第 | 页，共 "; do
  IFS='|' read -r name font prefix sep <<<"$run"
  [ -f "$fonts/$font" ] || continue
  read -r seconds peak < <("$measure" "$runs" "$brevano" text "$inputs/a.pdf" "$work/font.pdf" \
    -fontfile "$fonts/$font" -prefix "$prefix" -sep "$sep")
  latin=${latin:-$seconds}
  echo "| $name | ${font##*/} | ${seconds}s | $(ratio "$seconds" "$latin") | $(mib "$peak") MiB |"
  rm -f "$work/font.pdf"
done

if [ "${1:-}" = --large ]; then
  # 2.4 GB of pictures: offsets beyond 2 GiB in the input and the output.
  large="$inputs/large.pdf"
  [ -f "$large" ] || "$make" images 70000 "$picture" "$large"
  read -r seconds peak < <("$measure" 1 "$brevano" text "$large" "$work/large-out.pdf")
  echo
  echo "Beyond 2 GiB: $(stat -c %s "$large") bytes stamped in ${seconds}s, peak $(mib "$peak") MiB;" \
       "qpdf --check: $(qpdf --check "$work/large-out.pdf" >/dev/null 2>&1; echo $?)"
  rm -f "$work/large-out.pdf"
fi
