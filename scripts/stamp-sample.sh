#!/usr/bin/env bash
# Builds Brevano and stamps the bundled sample: page numbers at the bottom
# right of every page of samples/sample.pdf, into build/sample-stamped.pdf.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target Brevano >/dev/null
build/release/Brevano text samples/sample.pdf build/sample-stamped.pdf -fliph -align right
echo "Stamped samples/sample.pdf into build/sample-stamped.pdf"
