#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and fuzzes each one for a while, starting from
# its seeds. A finding stops the script with the input that caused it.
#   scripts/fuzz.sh [seconds per target] [target ...]   (default 60, all targets)
# Corpora grow in build/fuzz/work/<Target>; add an input that found a fault to
# fuzz/regressions/<Target>/ so that the tests replay it from then on.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

scripts/install-deps.sh fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/*Fuzzer.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

for target in "${targets[@]}"; do
  work=build/fuzz/work/$target
  artifacts=build/fuzz/findings/$target
  mkdir -p "$work" "$artifacts"
  seeds=()
  for folder in "fuzz/corpus/$target" "fuzz/regressions/$target"; do
    [ -d "$folder" ] && seeds+=("$folder")
  done
  case $target in
    XRefFuzzer | DocumentFuzzer) seeds+=(fuzz/corpus/pdf) ;;
    StampFuzzer) seeds+=(fuzz/corpus/DocumentFuzzer fuzz/corpus/pdf) ;;
  esac
  echo "== $target: ${seconds}s"
  # The first folder is the one new inputs are written to; the seeds are read only.
  if ! "build/fuzz/fuzz/$target" "$work" "${seeds[@]}" -dict=fuzz/pdf.dict \
      -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=262144 \
      -artifact_prefix="$artifacts/" -print_final_stats=1 2>"build/fuzz/$target.log"; then
    tail -n 60 "build/fuzz/$target.log"
    echo "$target found a fault; its input is in $artifacts/"
    exit 1
  fi
  grep -E "stat::number_of_executed_units|Done [0-9]+ runs" "build/fuzz/$target.log" | tail -n 2
done
