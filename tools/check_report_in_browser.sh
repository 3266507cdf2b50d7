#!/usr/bin/env bash
# Records the simulator stand-in driving laps of known times, as iRacing and
# as ACC, writes a lap report of each recording with dumptool, and opens it
# in headless Chromium:
# the page must raise no script error and request nothing, every chart must
# be drawn (the page's self-check counts pixels of each lap's colour on each
# canvas), and the lap table must hold the laps driven, each within one frame
# of its known time. Keeps report.html and report.png (iRacing) and
# acc_report.html and acc_report.png in BUILD/report_check.
#
#   tools/check_report_in_browser.sh [BUILD]     (default build/default)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/default}")
out="$build/report_check"

tools/install_packages.sh chromium

fps=30

rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export VOVE_NAME_PREFIX="vove_report_check_$$_"

fail() {
  echo "report check FAILED: $*" >&2
  exit 1
}

# check NAME LAP_SECONDS TOLERANCE STANDIN_ARGUMENTS...: record, report, render and check.
check() {
  local name=$1 laps=$2 tolerance=$3
  shift 3
  local -a lap_seconds
  IFS=, read -r -a lap_seconds <<<"$laps"
  local run="$work/$name"
  mkdir -p "$run"
  echo "== report ($name): record the stand-in"
  (cd "$run" && exec "$build/dumper/dumper" --fps "$fps" >dumper.log 2>&1) &
  local dumper=$!
  pids+=("$dumper")
  "$build/tools/sim_standin" "$@" --lap-seconds "$laps" >"$run/standin.log"
  # An iRacing recording ends once the source has gone quiet, an ACC one
  # only with Ctrl+C; either way, stop the recorder then.
  sleep 2
  kill -INT "$dumper"
  wait "$dumper" || fail "dumper exited with $? ($(cat "$run/dumper.log"))"
  pids=()
  local recording
  recording=$(ls "$run"/vove_dump_*.bin 2>/dev/null | head -n 1)
  [[ -n $recording ]] || fail "no $name recording ($(cat "$run/dumper.log"))"

  echo "== report ($name): write and render the page"
  local stem=report
  [[ $name == acc ]] && stem=acc_report
  "$build/dumptool/dumptool" report "$recording" -o "$out/$stem.html"

  local chromium_flags=(--headless --no-sandbox --disable-gpu --disable-quic --no-first-run
    --disable-background-networking --disable-component-update --disable-sync
    --hide-scrollbars --enable-logging=stderr --v=0 --virtual-time-budget=10000)
  local page="file://$out/$stem.html"
  chromium "${chromium_flags[@]}" --user-data-dir="$run/profile-dom" --dump-dom "$page" \
    >"$out/$stem.dom.html" 2>"$out/$stem.console.log" || fail "chromium could not render the $name page"
  chromium "${chromium_flags[@]}" --user-data-dir="$run/profile-shot" --window-size=1200,2200 \
    --screenshot="$out/$stem.png" "$page" >/dev/null 2>&1 || fail "chromium could not take a screenshot"

  # A script error, or a request the page's policy refused, shows in the log.
  if grep -E 'CONSOLE.*(Uncaught|Error)|Refused to' "$out/$stem.console.log"; then fail "the $name page logged errors"; fi

  local check
  check=$(grep -o '<div id="self-check"[^>]*>' "$out/$stem.dom.html" || true)
  [[ -n $check ]] || fail "no self-check in the rendered $name page"
  attribute() { sed -n "s/.* $1=\"\\([^\"]*\\)\".*/\\1/p" <<<"$check"; }
  local charts drawn
  charts=$(attribute data-charts)
  drawn=$(attribute data-drawn)
  echo "self-check ($name): state $(attribute data-state), charts $charts, drawn $drawn, map $(attribute data-map), pixels $(attribute data-pixels)"
  [[ $(attribute data-state) == ok ]] || fail "self-check ($name) says '$(attribute data-state)': $(attribute data-errors)"
  # Speed, throttle, brake, gear, engine speed and the time delta.
  [[ $charts == 6 && $drawn == 6 ]] || fail "$name: $drawn of $charts charts drawn, 6 expected"
  # Both stand-ins publish the car's position, so the track map must be there.
  [[ $(attribute data-map) == drawn ]] || fail "$name: the track map is '$(attribute data-map)', not drawn"

  local complete=0 lap seconds expected
  while read -r lap seconds; do
    expected=${lap_seconds[$(((lap - 1) % ${#lap_seconds[@]}))]}
    awk -v a="$seconds" -v e="$expected" -v t="$tolerance" 'BEGIN { d = a - e; exit !(d <= t && -d <= t) }' ||
      fail "$name: lap $lap took $seconds s in the table, the stand-in drove it in $expected s"
    echo "lap $lap: $seconds s (driven in $expected s)"
    complete=$((complete + 1))
  done < <(grep -o 'data-lap="[0-9]*" data-complete="1" data-seconds="[0-9.]*"' "$out/$stem.dom.html" |
    sed 's/data-lap="\([0-9]*\)" data-complete="1" data-seconds="\([0-9.]*\)"/\1 \2/')
  ((complete >= 2)) || fail "$name: only $complete complete laps in the table, at least 2 expected"
  echo "report check ($name) passed: $complete laps, $drawn charts; screenshot $out/$stem.png"
}

# The iRacing stand-in runs ten times faster than real time (600 updates a
# second of its 60-tick clock), so a few seconds hold several laps of these
# times; the tolerance is one frame in simulated seconds.
check iracing 20,18.5,19.25 "$(awk -v f="$fps" 'BEGIN { printf "%.4f", 10 / f }')" --rate 600 --seconds 12
# The ACC pages run on real time: short laps, one frame of tolerance.
check acc 2.5,2.3,2.4 "$(awk -v f="$fps" 'BEGIN { printf "%.4f", 1 / f }')" --sim acc --rate 120 --seconds 9
