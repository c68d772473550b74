#!/usr/bin/env bash
# Installs the Debian packages Brevano needs, when they are missing:
#   scripts/install-deps.sh build   to build the program
#   scripts/install-deps.sh test    to build and run the tests as well
#   scripts/install-deps.sh package to build the program and its Debian package
#   scripts/install-deps.sh fuzz    to build the fuzz targets with clang and libFuzzer
# As root it runs apt-get; otherwise it says what to install and stops.
set -euo pipefail

packages=(build-essential cmake pkg-config zlib1g-dev libdeflate-dev libspng-dev libharfbuzz-dev libfontconfig-dev libfribidi-dev nettle-dev)
case "${1:-build}" in
  # The fonts give the tests of embedded text their scripts: Latin, Cyrillic,
  # Greek, Hebrew (DejaVu), Arabic, Devanagari and Thai (Noto), Chinese
  # (WenQuanYi Micro Hei), Japanese faces (Noto CJK), CFF outlines (Lobster),
  # and a colour emoji font that must never be chosen. MuPDF's mutool reads
  # the text back as a second extractor and measures glyph boxes and picture
  # edges; URW's base 35 fonts bring the published metrics the built-in
  # Helvetica and Times match. GNU parallel runs the README's production
  # recipe; openssl and the NSS tools make a signed test file.
  test) packages+=(libgtest-dev qpdf poppler-utils mupdf-tools groff-base parallel
    fonts-dejavu-core fonts-noto-core fonts-noto-cjk fonts-noto-color-emoji fonts-wqy-microhei fonts-lobster
    fonts-urw-base35 openssl libnss3-tools) ;;
  package) packages+=(dpkg-dev file) ;;
  fuzz) packages+=(clang libclang-rt-14-dev) ;;
esac

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "Not a Debian system: make sure these are installed: ${packages[*]}" >&2
  exit 0
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  sudo apt-get update -qq
  sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
else
  echo "Missing Debian packages; install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
