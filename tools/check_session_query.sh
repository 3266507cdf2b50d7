#!/usr/bin/env bash
# Checks our session-text query reader against the simulator SDK's own scan
# (parseYaml in yaml_parser.cpp, as the npm package @irsdk-node/native ships
# it): both answer the same query paths in the same texts, byte for byte,
# found or not. The texts: tests/data/session_text/ (the reference's example
# and the departures from YAML), the text of a recording of the stand-in,
# and generated and mutated ones (tools/session_query_check/make_corpus.py).
# The recording's text is also asked through `dumptool session --query`.
#
#   tools/check_session_query.sh [BUILD_DIR]    (default: build/default)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build/default}" && pwd)
sdk_package=@irsdk-node/native@5.4.0
compiler=${CXX:-c++}

if ! command -v npm >/dev/null || ! command -v node >/dev/null; then
  echo "session query check: SKIPPED: npm and Node.js are not installed, so the SDK's parser cannot be"
  echo "installed (apt-get install npm brings them)"
  exit 0
fi
if ! command -v "$compiler" >/dev/null || ! command -v python3 >/dev/null; then
  echo "session query check: SKIPPED: no C++ compiler ($compiler) or python3 to build and feed the SDK's parser"
  exit 0
fi

# The package is installed once per build directory, at a pinned version;
# only its sources are used, so its install scripts are not run.
modules=$build/session-query-check
parser=$modules/node_modules/@irsdk-node/native/lib/irsdk/yaml_parser.cpp
if [[ ! -f $parser ]]; then
  echo "session query check: installing $sdk_package"
  npm install --prefix "$modules" --no-save --no-package-lock --no-audit --no-fund --ignore-scripts \
    --loglevel=error "$sdk_package" >/dev/null
fi
if [[ ! -f $parser ]]; then
  echo "session query check: FAILED: $sdk_package has no lib/irsdk/yaml_parser.cpp" >&2
  exit 1
fi

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
# Private names, so a simulator or another test run on this machine is never met.
export VOVE_NAME_PREFIX="vove_query_check_$$_"

"$compiler" -std=c++17 -O1 -w -o "$work/answers_sdk" "$repo/tools/session_query_check/answers_sdk.cc" "$parser"
ours=$build/tools/session_query_answers
dumptool=$build/dumptool/dumptool

wait_for_line() {  # file, text, seconds
  local deadline=$((SECONDS + $3))
  until grep -q "$2" "$1" 2>/dev/null; do
    if ((SECONDS >= deadline)); then echo "session query check: FAILED: no '$2' in $1" >&2; cat "$1" >&2; exit 1; fi
    sleep 0.2
  done
}

# A recording of the stand-in, whatever its text holds today.
cd "$work"
"$build/tools/sim_standin" --sim iracing --seconds 3 --session-every 1 >standin.log 2>&1 &
pids+=($!)
wait_for_line standin.log Publishing 30
"$build/dumper/dumper" --fps 10 >dumper.log 2>&1 &
dumper=$!
pids+=("$dumper")
wait_for_line dumper.log "Source is down" 60
kill -INT "$dumper"
wait "$dumper"
recording=$(ls vove_dump_*.bin)
"$dumptool" session "$recording" --at 2 >standin_text.yaml

python3 "$repo/tools/session_query_check/make_corpus.py" corpus "$repo"/tests/data/session_text/*.yaml \
  standin_text.yaml --generated 150 --mutated 300

failures=0
asked=0
found=0
show_difference() {  # what, paths, sdk answers, our answers
  if ((failures < 5)); then
    echo "session query check: $1: the answers differ (path | SDK | ours):" >&2
    paste -d'|' "$2" "$3" "$4" | awk -F'|' '$2 != $3' | head -n 5 >&2
  fi
  failures=$((failures + 1))
}
for text in corpus/*.txt; do
  paths=${text%.txt}.paths
  "$work/answers_sdk" "$text" "$paths" >sdk.out
  "$ours" "$text" "$paths" >ours.out
  asked=$((asked + $(wc -l <"$paths")))
  found=$((found + $(grep -c '^found' sdk.out || true)))
  cmp -s sdk.out ours.out || show_difference "$(basename "$text")" "$paths" sdk.out ours.out
done

# The same through the command, on the recording: its text at 2 s.
head -n 100 corpus/standin_text.paths >command.paths
"$work/answers_sdk" standin_text.yaml command.paths >sdk.out
: >command.out
while IFS= read -r path; do
  code=0
  value=$("$dumptool" session "$recording" --at 2 --query "$path" 2>command.err) || code=$?
  case $code in
    0) printf 'found %s\n' "$value" >>command.out ;;
    3) echo "not found" >>command.out ;;
    *) echo "session query check: FAILED: dumptool session --query '$path' exited with $code" >&2
       cat command.err >&2; exit 1 ;;
  esac
done <command.paths
asked=$((asked + $(wc -l <command.paths)))
cmp -s sdk.out command.out || show_difference "dumptool session --query on $recording" command.paths sdk.out command.out

texts=$(ls corpus/*.txt | wc -l)
if ((failures > 0)); then
  echo "session query check: FAILED: $failures of $((texts + 1)) texts answered differently from the SDK's parser" >&2
  exit 1
fi
echo "session query check: passed: $asked paths in $texts texts (and the recording through dumptool) answered" \
  "as the SDK's parser answers them, $found of them found"
