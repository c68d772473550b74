#!/usr/bin/env bash
# Runs the README's commands as a new user would on a freshly installed
# Debian 12 machine, each from a clean clone of the committed HEAD in a fresh
# root file system (the runner is ../shared/fresh/try.sh, or $BREVANO_TRY):
#   1. the two commands under "Two commands", each in a copy of its own;
#   2. the commands of the Install section, in one copy, then `man Brevano`.
# The commands are read from the README as written, so that a README step
# that forgets to install something fails here. Needs root.
#   scripts/fresh-check.sh [two-commands|install]...   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."

try=${BREVANO_TRY:-../shared/fresh/try.sh}
[ -f "$try" ] || { echo "fresh-check: no fresh-machine runner at $try" >&2; exit 1; }
for tool in debootstrap zstd; do
  command -v "$tool" >/dev/null 2>&1 && continue
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap zstd >/dev/null
  break
done

# The command lines of the shell blocks under the README heading $1, in order.
readme_commands() {
  awk -v heading="$1" '
    /^## / { inside = ($0 == "## " heading) }
    inside && /^```sh$/ { block = 1; next }
    block && /^```$/ { block = 0; next }
    inside && block { print }
  ' README.md
}

run_two_commands() {
  mapfile -t commands < <(readme_commands "Two commands (Debian 12)")
  [ ${#commands[@]} -eq 2 ] || { echo "fresh-check: expected two commands in the README, found ${#commands[@]}" >&2; exit 1; }
  echo "== fresh machine: the README's two commands, each on its own fresh machine"
  TRY_ISOLATE=1 TRY_TIMEOUT=${TRY_TIMEOUT:-45m} bash "$try" "$PWD" "${commands[@]}"
}

run_install() {
  mapfile -t commands < <(readme_commands "Install")
  [ ${#commands[@]} -ge 2 ] || { echo "fresh-check: no Install commands in the README" >&2; exit 1; }
  # A minimal root file system has no man; a regular installation has.
  commands+=("apt-get install -y -qq man-db >/dev/null && MANPAGER=cat man Brevano | grep -q '^EXIT STATUS' && dpkg -s brevano >/dev/null && Brevano | head -n 1")
  echo "== fresh machine: the README's Install section, then man Brevano"
  TRY_TIMEOUT=${TRY_TIMEOUT:-45m} bash "$try" "$PWD" "${commands[@]}"
}

steps=("$@")
[ ${#steps[@]} -eq 0 ] && steps=(two-commands install)
for step in "${steps[@]}"; do
  case $step in
    two-commands) run_two_commands ;;
    install) run_install ;;
    *) echo "fresh-check: unknown step $step" >&2; exit 2 ;;
  esac
done
