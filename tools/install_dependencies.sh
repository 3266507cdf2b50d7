#!/usr/bin/env bash
# Installs the Debian packages the native build and its tests need, only
# when one of them is missing (the package index is refreshed first).
set -euo pipefail

packages=(g++ cmake ninja-build zlib1g-dev libboost-program-options-dev
          libgtest-dev libbenchmark-dev)
if [[ "${1:-}" == "--windows" ]]; then
  packages+=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 libboost1.74-dev dpkg-dev)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
