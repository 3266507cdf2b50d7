#!/usr/bin/env bash
# Records the simulator stand-in driving laps of known times, writes a lap
# report of the recording with dumptool, and opens it in headless Chromium:
# the page must raise no script error and request nothing, every chart must
# be drawn (the page's self-check counts pixels of each lap's colour on each
# canvas), and the lap table must hold the laps driven, each within one frame
# of its known time. Keeps report.html and report.png in BUILD/report_check.
#
#   tools/check_report_in_browser.sh [BUILD]     (default build/default)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/default}")
out="$build/report_check"

tools/install_packages.sh chromium

# The stand-in runs ten times faster than real time (600 updates a second of
# its 60-tick clock), so a few seconds hold several laps of these times.
lap_seconds=(20 18.5 19.25)
speed_up=10
fps=30
tolerance=$(awk -v s="$speed_up" -v f="$fps" 'BEGIN { printf "%.4f", s / f }')  # one frame, simulated seconds

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

echo "== report: record the stand-in"
(cd "$work" && exec "$build/dumper/dumper" --fps "$fps" >dumper.log 2>&1) &
dumper=$!
pids+=("$dumper")
"$build/tools/sim_standin" --rate $((60 * speed_up)) --seconds 12 \
  --lap-seconds "$(IFS=,; echo "${lap_seconds[*]}")" >"$work/standin.log"
# The recorder lets go of the source once it has gone quiet; then stop it.
sleep 2
kill -INT "$dumper"
wait "$dumper" || fail "dumper exited with $? ($(cat "$work/dumper.log"))"
pids=()
recording=$(ls "$work"/vove_dump_*.bin 2>/dev/null | head -n 1)
[[ -n $recording ]] || fail "no recording ($(cat "$work/dumper.log"))"

echo "== report: write and render the page"
"$build/dumptool/dumptool" report "$recording" -o "$out/report.html"

chromium_flags=(--headless --no-sandbox --disable-gpu --disable-quic --no-first-run
  --disable-background-networking --disable-component-update --disable-sync
  --hide-scrollbars --enable-logging=stderr --v=0 --virtual-time-budget=10000)
page="file://$out/report.html"
chromium "${chromium_flags[@]}" --user-data-dir="$work/profile-dom" --dump-dom "$page" \
  >"$out/dom.html" 2>"$out/console.log" || fail "chromium could not render the page"
chromium "${chromium_flags[@]}" --user-data-dir="$work/profile-shot" --window-size=1200,2200 \
  --screenshot="$out/report.png" "$page" >/dev/null 2>&1 || fail "chromium could not take a screenshot"

# A script error, or a request the page's policy refused, shows in the log.
if grep -E 'CONSOLE.*(Uncaught|Error)|Refused to' "$out/console.log"; then fail "the page logged errors"; fi

check=$(grep -o '<div id="self-check"[^>]*>' "$out/dom.html" || true)
[[ -n $check ]] || fail "no self-check in the rendered page"
attribute() { sed -n "s/.* $1=\"\\([^\"]*\\)\".*/\\1/p" <<<"$check"; }
charts=$(attribute data-charts)
drawn=$(attribute data-drawn)
echo "self-check: state $(attribute data-state), charts $charts, drawn $drawn, pixels $(attribute data-pixels)"
[[ $(attribute data-state) == ok ]] || fail "self-check says '$(attribute data-state)': $(attribute data-errors)"
# Speed, throttle, brake, gear, engine speed and the time delta.
[[ $charts == 6 && $drawn == 6 ]] || fail "$drawn of $charts charts drawn, 6 expected"

complete=0
while read -r lap seconds; do
  expected=${lap_seconds[$(((lap - 1) % ${#lap_seconds[@]}))]}
  awk -v a="$seconds" -v e="$expected" -v t="$tolerance" 'BEGIN { d = a - e; exit !(d <= t && -d <= t) }' ||
    fail "lap $lap took $seconds s in the table, the stand-in drove it in $expected s"
  echo "lap $lap: $seconds s (driven in $expected s)"
  complete=$((complete + 1))
done < <(grep -o 'data-lap="[0-9]*" data-complete="1" data-seconds="[0-9.]*"' "$out/dom.html" |
  sed 's/data-lap="\([0-9]*\)" data-complete="1" data-seconds="\([0-9.]*\)"/\1 \2/')
((complete >= 2)) || fail "only $complete complete laps in the table, at least 2 expected"
echo "report check passed: $complete laps, $drawn charts; screenshot $out/report.png"
