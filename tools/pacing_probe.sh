#!/usr/bin/env bash
# Runs the consumer's-eye pacing probe briefly and prints what it saw: the
# replay at 60, 30 and 10 fps (and a plain deadline sleeper doing the same
# work), and the recorder at 60 fps. It reports; it never judges the times.
#
#   tools/pacing_probe.sh [BUILD_DIR] [probe options...]
#
# BUILD_DIR defaults to build/default; the probe must be built there
# (target pacing_probe). For figures worth writing down, run longer, e.g.
# tools/pacing_probe.sh build/default --seconds 20
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build/default}
shift || true
probe="$build_dir/bench/pacing_probe/pacing_probe"
if [[ ! -x $probe ]]; then
  echo "pacing_probe.sh: $probe is not built (cmake --build $build_dir --target pacing_probe)" >&2
  exit 1
fi
if [[ $# -eq 0 ]]; then
  set -- --seconds 2
fi
exec "$probe" "$@"
