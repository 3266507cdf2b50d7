#!/usr/bin/env bash
# Checks the layering the include path alone cannot enforce (the repository
# root is on it for every target): the platform and runtime layer includes
# only itself, the formats only that layer and themselves, and no program
# includes another program's files. Tests, fuzz targets and benchmarks may
# include anything.
#
#   tools/check_layering.sh    (exit code 1 and one line per breach)
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
  [common]="common"
  [formats]="common formats"
  [simulators]="common formats simulators"
  [dumper]="common formats simulators dumper"
  [emulator]="common formats simulators emulator"
  [dumptool]="common formats simulators dumptool"
  [tools]="common formats simulators tools"
)

breaches=0
for folder in "${!allowed[@]}"; do
  while IFS=: read -r file line text; do
    target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)\/.*/\1/' <<<"$text")
    [[ $target == "$text" ]] && continue  # an include without a folder
    if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
      echo "layering: $file:$line: $folder/ may not include $target/ (${text#"${text%%[![:space:]]*}"})"
      breaches=$((breaches + 1))
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$folder" --include='*.h' --include='*.cc' --include='*.in' || true)
done

if ((breaches > 0)); then
  echo "layering: FAILED: $breaches include(s) cross a layer" >&2
  exit 1
fi
echo "layering: every include stays within its layer"
