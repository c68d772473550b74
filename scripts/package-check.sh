#!/usr/bin/env bash
# Builds the Debian package (cpack -G DEB, optimised build with debug info,
# without the tests) and tries it as a new user would:
#   1. its control fields and contents: brevano, the project's version,
#      depending on zlib, libdeflate, libspng, HarfBuzz, fontconfig, FriBidi, Nettle and the C and C++ runtimes only, /usr/bin/Brevano and
#      its manual page;
#   2. unpacked into a scratch root: the program prints the usage text, its
#      version and the exit status 2 for an unknown mode; man reads the page;
#   3. as root, installed with dpkg on this machine: `Brevano` on the PATH and
#      `man Brevano` work; then the package is removed again (unless it was
#      installed before). --no-install leaves this step out.
# The package is left in build/package/. Installs the Debian packages it needs
# (dpkg-dev, file, man-db) when run as root, like scripts/install-deps.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive

install=yes
[ "${1:-}" = --no-install ] && install=no

fail() {
  echo "package-check: $*" >&2
  exit 1
}

scripts/install-deps.sh build
tools=()
for package in dpkg-dev file man-db; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || tools+=("$package")
done
if [ ${#tools[@]} -gt 0 ]; then
  [ "$(id -u)" -eq 0 ] || fail "missing Debian packages; install them with: sudo apt-get install ${tools[*]}"
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${tools[@]}" >/dev/null
fi

build=build/package
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVANO_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
rm -f "$build"/brevano_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || fail "cpack failed:"$'\n'"$(cat "$build/cpack.log")"
debs=("$build"/brevano_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single brevano_*.deb in $build"
deb=${debs[0]}
usage=tests/data/usage.txt

# 1. Control fields and contents.
version=$(sed -n 's/^project(Brevano VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$(dpkg-deb -f "$deb" Package)" = brevano ] || fail "package name is not brevano"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'zlib1g' <<<"$depends" || fail "Depends lacks zlib1g: $depends"
grep -q 'libfribidi0' <<<"$depends" || fail "Depends lacks libfribidi0: $depends"
grep -q 'libdeflate0' <<<"$depends" || fail "Depends lacks libdeflate0: $depends"
for dependency in $(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/[ (].*//'); do
  case "$dependency" in
    libc6 | libgcc-s1 | libstdc++6 | zlib1g | libdeflate0 | libspng0 | libharfbuzz0b | libharfbuzz-subset0 | libfontconfig1 | libfribidi0 | libnettle8) ;;
    *) fail "unexpected dependency $dependency: $depends" ;;
  esac
done
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $NF }' | sort)
[ "$files" = "$(printf '%s\n' ./usr/bin/Brevano ./usr/share/man/man1/Brevano.1.gz)" ] ||
  fail "unexpected contents:"$'\n'"$files"

# 2. Unpacked into a scratch root.
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
program=$root/usr/bin/Brevano
file "$program" | grep -q ', stripped' || fail "the program is not stripped"
cmp -s <("$program") "$usage" || fail "the unpacked Brevano does not print the usage text"
[ "$("$program" --version)" = "Brevano Server version $version" ] || fail "--version does not print $version"
status=0
"$program" Text in.pdf out.pdf >/dev/null || status=$?
[ "$status" -eq 2 ] || fail "an unknown mode ends with $status, not 2"
page=$(MANWIDTH=80 MANPAGER=cat man -l "$root/usr/share/man/man1/Brevano.1.gz" 2>/dev/null) ||
  fail "man cannot read the unpacked page"
for heading in NAME SYNOPSIS OPTIONS 'EXIT STATUS' EXAMPLES; do
  grep -q "^$heading\$" <<<"$page" || fail "the manual page has no $heading section"
done

# 3. Installed with dpkg.
if [ "$install" = yes ] && [ "$(id -u)" -eq 0 ]; then
  before=$(dpkg-query -W -f='${Status}' brevano 2>/dev/null || true)
  dpkg -i "$deb" >/dev/null
  if ! grep -q "install ok installed" <<<"$before"; then
    trap 'rm -rf "$root"; dpkg -r brevano >/dev/null' EXIT
  fi
  [ "$(command -v Brevano)" = /usr/bin/Brevano ] || fail "Brevano on the PATH is $(command -v Brevano), not /usr/bin/Brevano"
  cmp -s <(Brevano) "$usage" || fail "the installed Brevano does not print the usage text"
  if grep -qs '^path-exclude[= ]/usr/share/man' /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/*; then
    echo "package-check: dpkg here leaves manual pages out (path-exclude); the page was read from the unpacked package"
  else
    [ "$(man -w Brevano)" = /usr/share/man/man1/Brevano.1.gz ] || fail "man -w Brevano finds $(man -w Brevano)"
    MANPAGER=cat man Brevano 2>/dev/null | grep -q '^EXIT STATUS$' || fail "man Brevano does not show the page"
  fi
  echo "package-check: $deb installs, runs and shows its manual page"
else
  echo "package-check: $deb unpacks, runs and shows its manual page (not installed)"
fi
