#!/usr/bin/env bash
# Installs the Debian packages the native build, its tests and benchmarks
# need, only those that are missing.
set -euo pipefail
exec "$(dirname "$0")/install_packages.sh" g++ cmake ninja-build zlib1g-dev \
  libboost-program-options-dev libgtest-dev libbenchmark-dev
