#!/usr/bin/env bash
# Times the same stamp, "Page N / M" at the foot of every page, made by
# Brevano and by the tools a user would take instead, on the benchmark's
# documents (see bench/common.sh), and prints one table of median times:
#   qpdf          a plain rewrite (qpdf in.pdf out.pdf), for scale
#   qpdf overlay  qpdf --overlay of a PDF holding the numbers, one page each
#   pdftk         pdftk multistamp of the same PDF (pdftk-java)
#   PyMuPDF       page.insert_text on every page, then save (python3-fitz)
#   pikepdf       a content stream and a font added to every page (python3-pikepdf)
# The tools are Debian packages, installed here when missing (as root, or
# with sudo). Every output is removed before each run. RUNS (default 3) sets
# how many runs each median is taken over; a tool that fails shows "failed".
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-3}
# shellcheck source=bench/common.sh
. bench/common.sh

missing=()
for package in python3-fitz python3-pikepdf pdftk-java; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=$([ "$(id -u)" -eq 0 ] || echo sudo)
  $sudo apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Debian's Python, which the packages are for (not one a user put first on the PATH).
python=/usr/bin/python3
pymupdf=$work/stamp-with-pymupdf.py
cat >"$pymupdf" <<'PY'
import sys
import fitz
doc = fitz.open(sys.argv[1])
for number, page in enumerate(doc, 1):
    page.insert_text((20, page.rect.height - 10), f"Page {number} / {doc.page_count}", fontsize=11)
doc.save(sys.argv[2])
PY
pikepdf=$work/stamp-with-pikepdf.py
cat >"$pikepdf" <<'PY'
import sys
import pikepdf
pdf = pikepdf.open(sys.argv[1])
font = pdf.make_indirect(pikepdf.Dictionary(Type=pikepdf.Name.Font, Subtype=pikepdf.Name.Type1,
                                            BaseFont=pikepdf.Name.Helvetica))
count = len(pdf.pages)
for number, page in enumerate(pdf.pages, 1):
    name = page.add_resource(font, pikepdf.Name.Font, prefix="FStamp")
    text = f"q BT {name} 11 Tf 20 10 Td (Page {number} / {count}) Tj ET Q".encode()
    page.contents_add(pikepdf.Stream(pdf, text), prepend=False)
pdf.save(sys.argv[2])
PY

# The median time of one tool, or "failed".
cell() {
  local result
  if result=$(time_of "$work/out.pdf" "$@" 2>/dev/null); then
    echo "${result%% *}s"
  else
    echo failed
  fi
}

echo "Machine: $(nproc) cores, $(uname -sr); runs: median of $runs; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| input | pages | Brevano | Brevano -incremental | qpdf (rewrite) | qpdf overlay | pdftk | PyMuPDF | pikepdf |"
echo "|---|---|---|---|---|---|---|---|---|"
for name in a b c d; do
  in="$inputs/$name.pdf"
  pages=$("$brevano" pages "$in")
  numbers="$work/numbers-$pages.pdf"
  [ -f "$numbers" ] || "$make" numbers "$pages" "$numbers"
  echo "| $name | $pages | $(cell "$brevano" text "$in" "$work/out.pdf") |" \
       "$(cell "$brevano" text "$in" "$work/out.pdf" -incremental) |" \
       "$(cell qpdf "$in" "$work/out.pdf") |" \
       "$(cell qpdf "$in" --overlay "$numbers" -- "$work/out.pdf") |" \
       "$(cell pdftk "$in" multistamp "$numbers" output "$work/out.pdf") |" \
       "$(cell "$python" "$pymupdf" "$in" "$work/out.pdf") |" \
       "$(cell "$python" "$pikepdf" "$in" "$work/out.pdf") |"
  rm -f "$work/out.pdf"
done
echo
echo "Load after: $(cut -d' ' -f1-3 /proc/loadavg)"
