#!/usr/bin/env bash
# Checks what `dumptool to-ibt` writes with two .ibt readers from the npm
# registry, an independent one and the simulator SDK's own (irsdkDiskClient,
# built here from @irsdk-node/native's sources): a recording of the stand-in
# made by dumper is exported, and each reader must find every variable of
# every row with the values the recording holds, the session text in force
# at its end, and the counts of the disk sub-header.
#
#   tools/check_ibt_export.sh [BUILD_DIR]    (default: build/default)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build/default}" && pwd)
reader_package=ibt-telemetry@1.1.1
sdk_package=@irsdk-node/native@5.4.0
compiler=${CXX:-c++}

if ! command -v npm >/dev/null || ! command -v node >/dev/null; then
  echo "ibt export check: SKIPPED: npm and Node.js are not installed, so the .ibt reader cannot be"
  echo "installed (apt-get install npm brings them)"
  exit 0
fi

# The reader is installed once per build directory, at a pinned version.
modules=$build/ibt-reader-check
if [[ ! -d "$modules/node_modules/ibt-telemetry" ]]; then
  echo "ibt export check: installing $reader_package"
  npm install --prefix "$modules" --no-save --no-package-lock --no-audit --no-fund --loglevel=error \
    "$reader_package" >/dev/null
fi

# Only the SDK package's sources are used, so its install scripts are not
# run. A folder of its own: an install into the other would remove the reader.
sdk_modules=$build/ibt-sdk-check
sdk=$sdk_modules/node_modules/@irsdk-node/native/lib/irsdk
if [[ ! -f $sdk/irsdk_diskclient.cpp ]]; then
  echo "ibt export check: installing $sdk_package"
  npm install --prefix "$sdk_modules" --no-save --no-package-lock --no-audit --no-fund --ignore-scripts \
    --loglevel=error "$sdk_package" >/dev/null
fi
[[ -f $sdk/irsdk_diskclient.cpp ]] || { echo "ibt export check: FAILED: $sdk_package has no irsdk_diskclient.cpp" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
# Private names, so a simulator or another test run on this machine is never met.
export VOVE_NAME_PREFIX="vove_ibt_check_$$_"

wait_for_line() {  # file, text, seconds
  local deadline=$((SECONDS + $3))
  until grep -q "$2" "$1" 2>/dev/null; do
    if ((SECONDS >= deadline)); then echo "ibt export check: FAILED: no '$2' in $1" >&2; cat "$1" >&2; exit 1; fi
    sleep 0.2
  done
}

cd "$work"
"$build/tools/sim_standin" --sim iracing --seconds 4 >standin.log 2>&1 &
pids+=($!)
wait_for_line standin.log Publishing 30
"$build/dumper/dumper" --fps 30 >dumper.log 2>&1 &
dumper=$!
pids+=("$dumper")
wait_for_line dumper.log "Source is down" 60
kill -INT "$dumper"
wait "$dumper"
recording=$(ls vove_dump_*.bin)
"$build/dumptool/dumptool" to-ibt "$recording" -o recording.ibt
sdk_reading=()
if command -v "$compiler" >/dev/null; then
  "$compiler" -std=c++17 -O1 -w -I "$repo/tools/ibt_reader_check/sdk_shim" -I "$sdk" -o read_with_sdk \
    "$repo/tools/ibt_reader_check/read_with_sdk.cc" "$sdk/irsdk_diskclient.cpp" "$sdk/yaml_parser.cpp"
  ./read_with_sdk recording.ibt sdk_text.yaml >sdk_reading.txt
  sdk_reading=(sdk_reading.txt sdk_text.yaml)
else
  echo "ibt export check: the SDK's reader is SKIPPED: no C++ compiler ($compiler) to build it"
fi
NODE_PATH="$modules/node_modules" node "$repo/tools/ibt_reader_check/check_ibt_export.js" "$recording" recording.ibt \
  "${sdk_reading[@]}"
