#!/usr/bin/env bash
# Builds the Windows programs and unit tests with MinGW-w64 and runs the
# tests under Wine; one command from a fresh clone:
#
#   tools/windows/run_tests_under_wine.sh [--build-e2e] [-- <unit test arguments>]
#   tools/windows/run_tests_under_wine.sh --build-only
#
# Installs the Debian packages that are missing, builds the cross libraries
# (cached in build/mingw-deps), configures and builds the "mingw" preset,
# checks that the .exe files need no DLL beyond Windows' own, creates a fresh
# Wine prefix in build/mingw/wine-prefix and runs unit_tests.exe in it. When
# the native end-to-end tests are built (or --build-e2e builds them), they
# then drive the .exe files through Wine as well. --build-only stops before
# the Wine prefix. Exits non-zero when any step or test fails.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$repo/build/mingw
bin=$build/bin
test_timeout=${VOVE_WINE_TEST_TIMEOUT:-600}

build_e2e=false
build_only=false
unit_test_args=()
while (($#)); do
  case $1 in
    --build-e2e) build_e2e=true ;;
    --build-only) build_only=true ;;
    --) shift; unit_test_args=("$@"); break ;;
    -h|--help) sed -n '2,14p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown argument: $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done

step() { printf '\n== %s\n' "$*"; }
started=$SECONDS

step "Packages"
"$repo/tools/install_packages.sh" cmake ninja-build g++-mingw-w64-x86-64-posix \
  libz-mingw-w64-dev wine wine64 libboost1.74-dev nlohmann-json3-dev googletest dpkg-dev xz-utils

step "Cross libraries"
"$repo/tools/windows/build_mingw_libraries.sh"

step "Windows build"
cd "$repo"
cmake --preset mingw >/dev/null
cmake --build --preset mingw

step "Static linking"
"$repo/tools/windows/check_system_dlls.sh" "$bin"/*.exe

if $build_only; then
  step "Built in $((SECONDS - started)) s"
  exit 0
fi

step "Wine prefix"
export WINEPREFIX=$build/wine-prefix
export WINEDEBUG=-all
# No Mono or Gecko install prompts; no display is needed or wanted.
export WINEDLLOVERRIDES="mscoree=;mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [[ -d "$WINEPREFIX" ]]; then
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
fi
# One server for the whole run. Left to itself, the server exits when the
# last Wine process ends, and a program started in that moment fails with
# "wine client error:0: recvmsg: Connection reset by peer"; the tests start
# programs back to back, so they would hit that now and then.
mkdir -p "$WINEPREFIX"
wineserver --persistent
# Ends this prefix's server (and any program a test left behind) on exit.
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineboot --init >/dev/null 2>&1
echo "$WINEPREFIX"

# Wine's console programs end lines with CR LF; the log shows them plain.
run_under_wine() {
  local status=0
  timeout --kill-after=10 "$test_timeout" "$@" 2>&1 | tr -d '\r' || status=${PIPESTATUS[0]}
  return "$status"
}

failures=()

step "Unit tests under Wine"
if ! run_under_wine wine "$bin/unit_tests.exe" "${unit_test_args[@]}"; then
  failures+=("unit tests")
fi

# ---- End-to-end tests ------------------------------------------------------
# The harness is a native Linux program; these variables make it start the
# .exe files through Wine instead of the native programs. Set VOVE_E2E_TESTS
# to use another build of it.
step "End-to-end tests under Wine"
e2e_tests=${VOVE_E2E_TESTS:-$repo/build/default/tests/e2e/e2e_tests}
if $build_e2e && [[ -z "${VOVE_E2E_TESTS:-}" ]]; then
  cmake --preset default >/dev/null
  cmake --build --preset default --target e2e_tests
fi
if [[ -x "$e2e_tests" ]]; then
  echo "$e2e_tests"
  # The tests mostly wait for frames in real time, each under names of its
  # own, so three shards run side by side; their logs follow one another.
  shards=3
  shard_logs=$(mktemp -d)
  shard_pids=()
  for ((shard = 0; shard < shards; ++shard)); do
    run_under_wine env VOVE_E2E_RUNNER=wine VOVE_E2E_BIN_DIR="$bin" VOVE_E2E_EXE_SUFFIX=.exe \
      GTEST_TOTAL_SHARDS=$shards GTEST_SHARD_INDEX=$shard "$e2e_tests" >"$shard_logs/$shard.log" 2>&1 &
    shard_pids+=($!)
  done
  for ((shard = 0; shard < shards; ++shard)); do
    shard_status=0
    wait "${shard_pids[$shard]}" || shard_status=$?
    echo "-- shard $((shard + 1)) of $shards"
    cat "$shard_logs/$shard.log"
    ((shard_status == 0)) || failures+=("end-to-end tests (shard $((shard + 1)) of $shards)")
  done
  rm -rf "$shard_logs"
else
  echo "not built ($e2e_tests); --build-e2e builds them"
fi
# ----------------------------------------------------------------------------

step "Done in $((SECONDS - started)) s"
if ((${#failures[@]})); then
  echo "FAILED: ${failures[*]}" >&2
  exit 1
fi
echo "All tests passed under Wine."
