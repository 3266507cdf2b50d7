#!/usr/bin/env bash
# Regenerates the published columns of tools/sim_standin/iracing_variables.tsv
# (count, count_as_time, unit, description, where the type comes from) from
# the simulator's published variable list and SDK defines. Run by hand after
# choosing variables (add a row with name, type and motion, "-" elsewhere);
# the table is committed.
#
#   tools/generate_standin_variables.sh [SCRATCH_DIR]   (default: build/standin-variables)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
scratch=${1:-$repo/build/standin-variables}
mkdir -p "$scratch"
if [[ ! -d "$scratch/node_modules/@irsdk-node/types" || ! -d "$scratch/node_modules/@irsdk-node/native" ]]; then
  # --ignore-scripts: only the files are read; the native addon is not built.
  npm install --prefix "$scratch" --no-save --no-package-lock --no-audit --no-fund --ignore-scripts --loglevel=error \
    @irsdk-node/types@4.0.5 @irsdk-node/native@5.4.0 >/dev/null
fi
node "$repo/tools/standin_variables/generate_table.js" "$scratch/node_modules" "$repo/tools/sim_standin/iracing_variables.tsv"
