#!/usr/bin/env bash
# Builds the program alone (no tests, so only the build packages are needed)
# and stamps the bundled sample: page numbers at the bottom right of every
# page of samples/sample.pdf, into build/sample-stamped.pdf.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake --preset program >/dev/null
cmake --build --preset program -j "$(nproc)" >/dev/null
build/program/Brevano text samples/sample.pdf build/sample-stamped.pdf -fliph -align right
echo "Stamped samples/sample.pdf into build/sample-stamped.pdf"
