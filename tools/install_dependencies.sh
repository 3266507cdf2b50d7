#!/usr/bin/env bash
# Installs the Debian packages the native build, its tests and benchmarks
# need, only those that are missing. python3 reads exported files back in
# the end-to-end tests with its own csv and json modules; strace shows them
# that a finished output is flushed to the disk.
set -euo pipefail
exec "$(dirname "$0")/install_packages.sh" g++ cmake ninja-build zlib1g-dev \
  libboost-program-options-dev nlohmann-json3-dev libgtest-dev libbenchmark-dev \
  python3 strace
