#!/usr/bin/env bash
# Installs the given Debian packages that are not installed yet. Refreshes
# the package lists first, and only when something is missing, so a machine
# that has everything never touches the network.
set -euo pipefail

# One install at a time: the package manager refuses a second while one
# runs, and the test run installs from scripts that run side by side.
lock=${TMPDIR:-/tmp}/vove_install_packages.lock
if [[ -w "$lock" || ! -e "$lock" ]]; then
  exec 9>>"$lock"
  flock 9
fi

missing=()
for package in "$@"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [[ "$status" == installed ]] || missing+=("$package")
done
((${#missing[@]} == 0)) && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=()
((EUID == 0)) || sudo=(sudo)
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
