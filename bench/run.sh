#!/usr/bin/env bash
# Measures Brevano against copying the file (cp) and against a plain rewrite
# (qpdf in.pdf out.pdf) on documents it builds the same way every time (see
# bench/common.sh), and then a's 2,000 pages stamped with an embedded font:
# Latin, Arabic and Chinese prefixes, each with -fontfile (the other scripts
# should stay within 1.2 times the Latin run). Every output is removed before
# each run, so that each run creates it.
# Usage: bench/run.sh [--large | --checksums]
#   --large      also stamps a file beyond 2 GiB
#   --checksums  no timing: the SHA-256 of every output (text, image and
#                -incremental on each input), with the resource names fixed,
#                to compare the outputs of two builds
# RUNS (default 5) sets how many runs each median is taken over; BREVANO
# names another build of the program to measure (default: the one built here).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-5}
# shellcheck source=bench/common.sh
. bench/common.sh

if [ "${1:-}" = --checksums ]; then
  fixed=$(realpath build/bench/bench/libFixedNames.so)
  for name in a b c d d2; do
    in="$inputs/$name.pdf"
    for run in "text" "image -j$picture" "text -incremental"; do
      rm -f "$work/out.pdf"
      # shellcheck disable=SC2086 # the run's words
      set -- $run
      LD_PRELOAD=$fixed "$brevano" "$1" "$in" "$work/out.pdf" "${@:2}"
      echo "$name $run: $(sha256sum <"$work/out.pdf" | cut -d' ' -f1)"
    done
  done
  rm -f "$work/out.pdf"
  exit 0
fi

mib() { awk -v k="$1" 'BEGIN { printf "%.0f", k / 1024 }'; }

echo "Machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), $(uname -sr); runs: median of $runs"
echo "Load before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| input | size | cp | qpdf | text | text/cp | text/qpdf | text cpu | text peak | image | image/cp | image/qpdf | image peak |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|"
for name in a b c d d2; do
  in="$inputs/$name.pdf"
  size=$(awk -v b="$(stat -c %s "$in")" 'BEGIN { printf "%.1f MB", b / 1e6 }')
  read -r cp _ < <(time_of "$work/cp.pdf" cp "$in" "$work/cp.pdf")
  read -r qpdf _ < <(time_of "$work/qpdf.pdf" qpdf "$in" "$work/qpdf.pdf")
  read -r text textPeak _ textCpu < <(time_of "$work/text.pdf" "$brevano" text "$in" "$work/text.pdf")
  read -r image imagePeak _ < <(time_of "$work/image.pdf" "$brevano" image "$in" "$work/image.pdf" "-j$picture")
  echo "| $name | $size | ${cp}s | ${qpdf}s | ${text}s | $(ratio "$text" "$cp") | $(ratio "$text" "$qpdf") |" \
       "${textCpu}s | $(mib "$textPeak") MiB | ${image}s | $(ratio "$image" "$cp") | $(ratio "$image" "$qpdf") |" \
       "$(mib "$imagePeak") MiB |"
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
  read -r seconds peak _ < <(time_of "$work/font.pdf" "$brevano" text "$inputs/a.pdf" "$work/font.pdf" \
    -fontfile "$fonts/$font" -prefix "$prefix" -sep "$sep")
  latin=${latin:-$seconds}
  echo "| $name | ${font##*/} | ${seconds}s | $(ratio "$seconds" "$latin") | $(mib "$peak") MiB |"
  rm -f "$work/font.pdf"
done

echo
echo "| input | cp | text -incremental | /cp | cpu | peak | pages | pages cpu | pages/text |"
echo "|---|---|---|---|---|---|---|---|---|"
for name in a b c d d2; do
  in="$inputs/$name.pdf"
  read -r cp _ < <(time_of "$work/cp.pdf" cp "$in" "$work/cp.pdf")
  read -r update updatePeak _ updateCpu < <(time_of "$work/update.pdf" "$brevano" text "$in" "$work/update.pdf" -incremental)
  read -r text _ < <(time_of "$work/text.pdf" "$brevano" text "$in" "$work/text.pdf")
  read -r pages _ _ pagesCpu < <("$measure" "$runs" "$brevano" pages "$in")
  echo "| $name | ${cp}s | ${update}s | $(ratio "$update" "$cp") | ${updateCpu}s | $(mib "$updatePeak") MiB |" \
       "${pages}s | ${pagesCpu}s | $(ratio "$pages" "$text") |"
  rm -f "$work"/*.pdf
done
echo
echo "Load after: $(cut -d' ' -f1-3 /proc/loadavg)"

if [ "${1:-}" = --large ]; then
  # 2.4 GB of pictures: offsets beyond 2 GiB in the input and the output.
  large="$inputs/large.pdf"
  [ -f "$large" ] || "$make" images 70000 "$picture" "$large"
  read -r seconds peak _ < <(time_of "$work/large-out.pdf" "$brevano" text "$large" "$work/large-out.pdf")
  echo
  echo "Beyond 2 GiB: $(stat -c %s "$large") bytes stamped in ${seconds}s, peak $(mib "$peak") MiB;" \
       "qpdf --check: $(qpdf --check "$work/large-out.pdf" >/dev/null 2>&1; echo $?)"
  rm -f "$work/large-out.pdf"
fi
