#!/usr/bin/env bash
# Demo against the built-in simulator stand-in: records a few seconds of
# stand-in telemetry with dumper, replays the file with emulator, and
# records the replay again, so both directions can be seen working.
#   tools/demo.sh [iracing|acc]
set -euo pipefail
cd "$(dirname "$0")/.."
simulator=${1:-iracing}

tools/install_dependencies.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target dumper emulator sim_standin

bin=$PWD/build/default
work=$(mktemp -d "${TMPDIR:-/tmp}/vove_demo.XXXXXX")
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true' EXIT
cd "$work"
echo "Working in $work"

echo; echo "== 1. The stand-in publishes $simulator telemetry; dumper records 4 seconds at 30 fps"
"$bin/tools/sim_standin" --sim "$simulator" --seconds 8 >standin.log 2>&1 &
standin=$!
sleep 1
"$bin/dumper/dumper" --fps 30 &
dumper=$!
sleep 4
kill -INT $dumper; wait $dumper || true
kill -TERM $standin 2>/dev/null || true; wait $standin 2>/dev/null || true

first=$(ls vove_dump_*.bin | head -n 1)
echo; echo "== 2. emulator replays $first while dumper records the replay"
mkdir replayed
(cd replayed && exec "$bin/dumper/dumper" --fps 30) &
dumper=$!
sleep 1
"$bin/emulator/emulator" --input-file "$first"
sleep 1
kill -INT $dumper; wait $dumper || true

echo; echo "== Files"
ls -l vove_dump_*.bin replayed/vove_dump_*.bin
