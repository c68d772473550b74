# What both benchmark scripts begin with (sourced from the source folder):
# the packages, the build of the program and the benchmark's tools, and the
# generated input documents.
#   a  2,000 pages of text, classic cross-reference table
#   b  the same with object streams and a cross-reference stream (qpdf)
#   c  5,000 pages, each with a picture of its own (181 MB)
#   d  20,000 pages with many small objects, and d2 with 40,000 for linearity
scripts/install-deps.sh test >/dev/null
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DBREVANO_BENCH=ON -DBREVANO_TESTS=OFF >/dev/null
cmake --build build/bench -j "$(nproc)" >/dev/null
brevano=$(realpath "${BREVANO:-build/bench/Brevano}")
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

# Median wall time, peak memory, shortest time and median processor time of
# a command whose output is the file given first.
time_of() { local out=$1; shift; "$measure" "$runs" -r "$out" "$@"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
