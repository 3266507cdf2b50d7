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

jobs=$(nproc)
for preset in default asan; do
  echo "== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: test"
  ctest --preset "$preset" -j "$jobs"
done

# Brief, so that it cannot rot; the times it prints are reported, not judged.
echo "== default: pacing as a consumer sees it"
tools/pacing_probe.sh build/default

# Every fuzz target for a fixed, brief number of executions (about a minute).
echo "== fuzz"
tools/run_fuzzers.sh

echo "== report: render a lap report in headless Chromium"
tools/check_report_in_browser.sh build/default

echo "== .ibt export: read by an independent reader"
tools/check_ibt_export.sh build/default

if [[ $windows == auto ]] && command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then
  windows=yes
fi
if [[ $windows == yes ]]; then
  echo "== windows: cross-build and test under Wine"
  tools/windows/run_tests_under_wine.sh --build-e2e
fi
