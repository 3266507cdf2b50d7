#!/usr/bin/env bash
# Builds and runs every test: the native suite in the release
# configuration, the outside readers' checks of its output, the suite again
# under the sanitizers, the Windows build under Wine when the cross tools
# are installed (or --windows asks for them), and a brief run of every fuzz
# target. Only the first build is waited for; the others are built behind
# the tests.
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

# What the first build needs; the later stages' packages are fetched behind it.
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
chain=
cleanup() {
  [[ -n "$chain" ]] && kill -- -"$chain" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$logs"
}
trap cleanup EXIT

# The tests spend most of their time waiting for frames in real time, so
# everything else is built meanwhile, one build after another at the lowest
# priority: the programs under test keep the processor whenever they want
# it. Each build leaves its log and, once done, its exit status.
behind() {  # <name> <command...>: one link of the chain
  local name=$1 status=0
  shift
  "$@" >"$logs/$name.log" 2>&1 || status=$?
  echo "$status" >"$logs/$name.status"
  return "$status"
}
wait_for_build() {  # <name>: its log, and its failure as the script's
  local name=$1 status
  while [[ ! -f "$logs/$name.status" ]]; do
    if ! kill -0 "$chain" 2>/dev/null; then
      step "$name: not built, the chain of builds ended before it" >&2
      exit 1
    fi
    sleep 1
  done
  status=$(<"$logs/$name.status")
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
build_benchmarks() {
  # Only built, so that they cannot rot; their figures are taken on request.
  if cmake --build --preset default --target help | grep '^benchmarks:' >/dev/null; then
    cmake --build --preset default --target benchmarks -j "$jobs"
  fi
}
run_chain() {
  # The packages of the later stages download while the first build runs.
  local packages=(clang libclang-rt-14-dev chromium)
  [[ $windows == yes ]] && packages+=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64
    libboost1.74-dev googletest dpkg-dev xz-utils)
  behind packages tools/install_packages.sh "${packages[@]}" || return
  behind asan build_preset asan || return
  if [[ $windows == yes ]]; then
    behind windows tools/windows/run_tests_under_wine.sh --build-only || return
  fi
  behind fuzz tools/run_fuzzers.sh --build-only || return
  behind benchmarks build_benchmarks
}

# Several checks, side by side, each under names and in a directory of its
# own; their logs follow one another, in the order given.
run_side_by_side() {  # <name> <script> [<name> <script>]...: each script gets build/default
  local pids=() names=() failed=() i
  while (($#)); do
    names+=("$1")
    "$2" build/default >"$logs/check_${#pids[@]}.log" 2>&1 &
    pids+=($!)
    shift 2
  done
  for i in "${!pids[@]}"; do
    wait "${pids[$i]}" || failed+=("${names[$i]}")
    step "${names[$i]}"
    cat "$logs/check_$i.log"
  done
  if ((${#failed[@]})); then
    step "FAILED: ${failed[*]}" >&2
    exit 1
  fi
}

step "layering"
tools/check_layering.sh

# Its own process group, so that an early exit stops every build in it.
set -m
(renice -n 19 -p "$BASHPID" >/dev/null && run_chain) &
chain=$!
set +m

step "default: build"
build_preset default
step "default: test"
ctest --preset default -j "$test_jobs"

# Each outside check reads the default build's programs' output with an
# independent reader, with packages the chain has fetched by now.
wait_for_build packages
step "outside checks, side by side"
run_side_by_side \
  "report: render a lap report in headless Chromium" tools/check_report_in_browser.sh \
  ".ibt export: read by an independent reader" tools/check_ibt_export.sh \
  "session text: queries answered as the simulator's SDK answers them" tools/check_session_query.sh \
  "stand-in variables: every one as the simulator's published list has it" tools/check_standin_variables.sh

# Brief, so that it cannot rot; the times it prints are reported, not judged.
step "default: pacing as a consumer sees it"
tools/pacing_probe.sh build/default

wait_for_build asan
step "asan: test"
ctest --preset asan -j "$test_jobs"

if [[ $windows == yes ]]; then
  wait_for_build windows
  step "windows: test under Wine"
  tools/windows/run_tests_under_wine.sh --build-e2e
fi

# Every fuzz target for a fixed, brief number of executions.
wait_for_build fuzz
step "fuzz"
tools/run_fuzzers.sh

wait_for_build benchmarks
chain=
step "all tests passed"
