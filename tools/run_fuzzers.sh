#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset: clang, AddressSanitizer, UBSan,
# guard pages around shared-memory views) and runs each for a fixed number
# of executions, starting from its seed corpus in fuzz/corpus/<name>/.
#
#   tools/run_fuzzers.sh                     # the brief run CI does
#   tools/run_fuzzers.sh --executions 2000000 --parallel [--keep-corpus DIR] [TARGET...]
#   tools/run_fuzzers.sh --build-only        # builds the targets, runs nothing
#
# --parallel runs the targets side by side instead of one after another.
# A finding fails the run, prints the target's report and leaves the input
# in build/fuzz/findings/. Inputs found along the way go to a scratch
# corpus (or DIR), never into the committed seeds.
set -euo pipefail
cd "$(dirname "$0")/.."

executions=10000
keep_corpus=
parallel=no
build_only=no
targets=()
while (($#)); do
  case "$1" in
    --executions) executions=$2; shift 2 ;;
    --keep-corpus) keep_corpus=$(realpath -m "$2"); shift 2 ;;
    --parallel) parallel=yes; shift ;;
    --build-only) build_only=yes; shift ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    -*) echo "usage: $0 [--executions N] [--parallel] [--keep-corpus DIR] [TARGET...]" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done

tools/install_packages.sh clang libclang-rt-14-dev cmake ninja-build zlib1g-dev \
  libboost-program-options-dev nlohmann-json3-dev

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake --preset fuzz "${launcher[@]}" >/dev/null
nice cmake --build --preset fuzz -j "$(nproc)"
[[ $build_only == yes ]] && exit 0

binaries=build/fuzz/fuzz
findings=$PWD/build/fuzz/findings
mkdir -p "$findings"
if ((${#targets[@]} == 0)); then
  for source in fuzz/*_fuzz.cc; do
    name=$(basename "$source" .cc)
    targets+=("${name%_fuzz}")
  done
fi

scratch=$(mktemp -d)
prefix="vove_fuzz_$$_"
cleanup() {
  rm -rf "$scratch"
  # Names a crashed target could not remove.
  rm -f /dev/shm/"$prefix"* /dev/shm/sem."$prefix"*
}
trap cleanup EXIT

# Runs one target; its report goes to $scratch/<name>.log.
fuzz_one() {
  local name=$1 corpus seeds=()
  corpus=${keep_corpus:+$keep_corpus/$name}
  corpus=${corpus:-$scratch/$name}
  mkdir -p "$corpus"
  [[ -d fuzz/corpus/$name ]] && seeds=("fuzz/corpus/$name")
  VOVE_NAME_PREFIX="${prefix}${name}_" nice "$binaries/${name}_fuzz" -runs="$executions" \
    -max_len=16384 -rss_limit_mb=2048 -malloc_limit_mb=256 -timeout=10 -close_fd_mask=1 -print_final_stats=1 \
    -artifact_prefix="$findings/${name}-" "$corpus" "${seeds[@]}" >"$scratch/$name.log" 2>&1
}

# One line per target: executions, rate, peak memory; the report on a finding.
summarise() {
  local name=$1 result=$2 log=$scratch/$1.log
  if ((result == 0)); then
    echo "== fuzz $name: $(grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" |
      sed 's/^stat:://; s/: */=/' | tr '\n' ' ')"
  else
    tail -n 60 "$log"
    echo "== fuzz $name: FINDING (input kept in $findings)"
  fi
}

echo "== fuzz: ${#targets[@]} targets, $executions executions each"
status=0
if [[ $parallel == yes ]]; then
  declare -A pids
  for name in "${targets[@]}"; do
    fuzz_one "$name" &
    pids[$name]=$!
  done
  for name in "${targets[@]}"; do
    result=0
    wait "${pids[$name]}" || result=$?
    summarise "$name" "$result"
    ((result == 0)) || status=1
  done
else
  for name in "${targets[@]}"; do
    result=0
    fuzz_one "$name" || result=$?
    summarise "$name" "$result"
    ((result == 0)) || status=1
  done
fi
exit "$status"
