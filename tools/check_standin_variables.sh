#!/usr/bin/env bash
# Checks the iRacing stand-in's variable table against the simulator's
# published variable list (@irsdk-node/types): every name exists, with the
# list's count, unit, description, time flag and boolean-ness.
#
#   tools/check_standin_variables.sh [BUILD_DIR] [TABLE]
#       (defaults: build/default, tools/sim_standin/iracing_variables.tsv)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build/default}" && pwd)
table=${2:-$repo/tools/sim_standin/iracing_variables.tsv}
list_package=@irsdk-node/types@4.0.5

if ! command -v npm >/dev/null || ! command -v node >/dev/null; then
  echo "standin variables check: SKIPPED: npm and Node.js are not installed, so the published variable list"
  echo "cannot be installed (apt-get install npm brings them)"
  exit 0
fi

modules=$build/standin-variables-check
if [[ ! -d "$modules/node_modules/@irsdk-node/types" ]]; then
  echo "standin variables check: installing $list_package"
  npm install --prefix "$modules" --no-save --no-package-lock --no-audit --no-fund --ignore-scripts --loglevel=error \
    "$list_package" >/dev/null
fi
node "$repo/tools/standin_variables/check_table.js" "$modules/node_modules" "$table"
