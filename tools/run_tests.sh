#!/usr/bin/env bash
# Builds and runs every test: the native suite in the release and the
# sanitizer configurations, a brief run of every fuzz target, then the
# Windows build under Wine when the cross tools are installed (or --windows
# asks for them).
set -euo pipefail
cd "$(dirname "$0")/.."

windows=auto
for argument in "$@"; do
  case "$argument" in
    --windows) windows=yes ;;
    --no-windows) windows=no ;;
    *) echo "usage: $0 [--windows|--no-windows]" >&2; exit 2 ;;
  esac
done

# The Windows packages are installed by the Windows script itself.
tools/install_dependencies.sh
if [[ $windows == auto ]] && command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then
  windows=yes
fi

jobs=$(nproc)
# The end-to-end tests wait for frames in real time, each under names and in
# a directory of its own, so they run one more at a time than there are cores.
test_jobs=$((jobs + 1))
# Each step says when it began, so the run's critical path can be read off.
step() { echo "== [$SECONDS s] $*"; }
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
declare -A background  # the process of each build started behind the tests

# The end-to-end tests spend most of their time waiting for frames in real
# time, so the next configurations build meanwhile, at the lowest priority:
# the programs under test keep the processor whenever they want it.
build_behind() {  # <name> <command...>: starts the command in the background
  local name=$1
  shift
  (renice -n 19 -p "$BASHPID" >/dev/null && "$@") >"$logs/$name.log" 2>&1 &
  background[$name]=$!
}
wait_for_build() {  # <name>: its log, and its failure as the script's
  local name=$1 status=0
  wait "${background[$name]}" || status=$?
  step "$name (built in the background)"
  if ((status != 0)); then
    cat "$logs/$name.log"
    step "$name: FAILED" >&2
    exit "$status"
  fi
  tail -n 3 "$logs/$name.log"
}
build_preset() {  # <preset>
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}
build_the_rest() {
  # Only built, so that they cannot rot; their figures are taken on request.
  if cmake --build --preset default --target help | grep '^benchmarks:' >/dev/null; then
    cmake --build --preset default --target benchmarks -j "$jobs"
  fi
  tools/run_fuzzers.sh --build-only
  if [[ $windows == yes ]]; then
    tools/windows/run_tests_under_wine.sh --build-only
  fi
}

step "layering"
tools/check_layering.sh

step "default: build"
build_preset default
build_behind asan build_preset asan
step "default: test"
ctest --preset default -j "$test_jobs"
wait_for_build asan

build_behind fuzz-and-windows build_the_rest
step "asan: test"
ctest --preset asan -j "$test_jobs"
wait_for_build fuzz-and-windows

# Brief, so that it cannot rot; the times it prints are reported, not judged.
step "default: pacing as a consumer sees it"
tools/pacing_probe.sh build/default

# Every fuzz target for a fixed, brief number of executions.
step "fuzz"
tools/run_fuzzers.sh

step "report: render a lap report in headless Chromium"
tools/check_report_in_browser.sh build/default

step ".ibt export: read by an independent reader"
tools/check_ibt_export.sh build/default

step "session text: queries answered as the simulator's SDK answers them"
tools/check_session_query.sh build/default

step "stand-in variables: every one as the simulator's published list has it"
tools/check_standin_variables.sh build/default

if [[ $windows == yes ]]; then
  step "windows: cross-build and test under Wine"
  tools/windows/run_tests_under_wine.sh --build-e2e
fi

step "all tests passed"
