#!/usr/bin/env bash
# Builds the release archives and checks them as a user gets them:
#
#   tools/release.sh
#
# Builds the native programs (build/default) and the Windows programs
# (build/mingw), reusing what tools/run_tests.sh built, and packs into
# build/release:
#   vove-<version>-win64.zip, vove-<version>-linux-x86_64.tar.gz and
#   vove_<version>_amd64.deb.
# Then checks them: each archive holds exactly the expected files and no
# path of the build machine; the zip, unpacked into an empty folder, has CR LF
# text, programs that need no DLL beyond Windows' own, and runs --version and
# a record-and-replay round trip from that folder alone under a fresh Wine
# prefix; the .deb installs with apt-get, its programs run from PATH, and it
# is removed again without a trace. Needs root or sudo (packages, the .deb).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
case ${1:-} in
  "") ;;
  -h|--help) sed -n '2,16p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
  *) echo "unknown argument: $1 (see --help)" >&2; exit 2 ;;
esac

step() { printf '\n== %s\n' "$*"; }
fail() { echo "release check failed: $*" >&2; exit 1; }
started=$SECONDS
sudo=()
((EUID == 0)) || sudo=(sudo)

# The one declaration of the version, read independently of the build.
version=$(sed -nE 's/^project\(vove .*VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' CMakeLists.txt)
[[ -n "$version" ]] || fail "no project(vove ... VERSION x.y.z) in CMakeLists.txt"
programs=(dumper emulator dumptool)
# The commit, as the programs are to report it on the first line of --help.
commit_note=
if commit=$(git rev-parse --short=12 HEAD 2>/dev/null); then
  [[ -z "$(git --no-optional-locks status --porcelain --untracked-files=no)" ]] || commit+=-dirty
  commit_note=" (commit $commit)"
fi
out=$repo/build/release
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/vove_release.XXXXXX")
cleanup() {
  local status=$?
  # Background programs of a failed check, then Wine and the package.
  local pids
  pids=$(jobs -p)
  if [[ -n "$pids" ]]; then
    mapfile -t pids <<<"$pids"
    kill "${pids[@]}" 2>/dev/null || true
  fi
  wait 2>/dev/null || true
  [[ -n "${WINEPREFIX:-}" ]] && { wineserver -k >/dev/null 2>&1 || true; }
  if [[ -n "${deb_installed:-}" ]]; then
    "${sudo[@]}" apt-get purge -y -q -o DPkg::Lock::Timeout=300 vove >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT

step "Packages"
tools/install_dependencies.sh
tools/install_packages.sh dpkg-dev g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64
tools/windows/build_mingw_libraries.sh

step "Native build and packages"
[[ -f build/default/CMakeCache.txt ]] || cmake --preset default >/dev/null
cmake --build --preset default --target "${programs[@]}" sim_standin
(cd build/default && cpack -B "$out" >/dev/null)

step "Windows build and archive"
[[ -f build/mingw/CMakeCache.txt ]] || cmake --preset mingw >/dev/null
cmake --build --preset mingw --target "${programs[@]}" sim_standin
(cd build/mingw && cpack -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"

zip=$out/vove-$version-win64.zip
tarball=$out/vove-$version-linux-x86_64.tar.gz
deb=$out/vove_${version}_amd64.deb
for archive in "$zip" "$tarball" "$deb"; do
  [[ -f "$archive" ]] || fail "$archive was not made"
  echo "$(basename "$archive"): $(du -k "$archive" | cut -f1) KiB"
done

step "Contents"
# Exactly these files, nothing of the tests, benchmarks or stand-in.
expect_files() {  # <archive> <listing of its regular files> <expected...>
  local archive=$1 listing=$2
  shift 2
  local expected
  expected=$(printf '%s\n' "$@" | sort)
  if [[ "$(sort <<<"$listing")" != "$expected" ]]; then
    diff <(echo "$expected") <(sort <<<"$listing") >&2 || true
    fail "$(basename "$archive") does not hold exactly the expected files (< expected, > found)"
  fi
}
top=vove-$version-win64
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
expect_files "$zip" "$(cd "$work/zip" && find . -type f | sed 's|^\./||')" \
  "$top/dumper.exe" "$top/emulator.exe" "$top/dumptool.exe" "$top/README.txt" \
  "$top/CHANGELOG.txt" "$top/LICENSE.txt" "$top/THIRD_PARTY_NOTICES.txt"
top=vove-$version-linux-x86_64
doc=share/doc/vove
mkdir "$work/tar"
tar -xzf "$tarball" -C "$work/tar"
expect_files "$tarball" "$(cd "$work/tar" && find . -type f | sed 's|^\./||')" \
  "$top/bin/dumper" "$top/bin/emulator" "$top/bin/dumptool" "$top/$doc/README.md" \
  "$top/$doc/CHANGELOG.md" "$top/$doc/LICENSE" "$top/$doc/THIRD_PARTY_NOTICES.md"
mkdir "$work/deb"
dpkg-deb -x "$deb" "$work/deb"
expect_files "$deb" "$(cd "$work/deb" && find . -type f | sed 's|^\./||')" \
  usr/bin/dumper usr/bin/emulator usr/bin/dumptool usr/$doc/README.md \
  usr/$doc/CHANGELOG.md usr/$doc/LICENSE usr/$doc/THIRD_PARTY_NOTICES.md
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
depends_on=$(sed -E 's/ \([^)]*\)//g; s/, /\n/g' <<<"$depends")
for package in libc6 libstdc++6 zlib1g libboost-program-options1.74.0; do
  grep -qxF "$package" <<<"$depends_on" || fail "the .deb does not depend on $package"
done

step "No path of the build machine"
# Stripped programs and relative archive paths: nothing may name where the
# sources, the build or the cross libraries were.
machine_paths=("$repo" "$(cd "${VOVE_MINGW_DEPS_DIR:-$repo/build/mingw-deps}" && pwd -P)")
[[ "$(pwd -P)" == "$repo" ]] || machine_paths+=("$(pwd -P)")
for path in "${machine_paths[@]}"; do
  if found=$(grep -rlaF "$path" "$work/zip" "$work/tar" "$work/deb"); then
    fail "$path appears in: $found"
  fi
done
for archive in "$zip" "$tarball"; do
  if cmake -E tar tf "$archive" | grep -q '^/'; then fail "$(basename "$archive") holds absolute paths"; fi
done
echo "none of: ${machine_paths[*]}"

step "Windows copy: text and DLLs"
windows=$work/zip/vove-$version-win64
for text in "$windows"/*.txt; do
  if grep -qv $'\r$' "$text"; then fail "$(basename "$text") has lines that do not end in CR LF"; fi
done
echo "CR LF line ends in every .txt"
tools/windows/check_system_dlls.sh "$windows"/*.exe

# Starts a program in the background with the default Ctrl+C action (job
# control gives it a process group of its own); output to a log.
start() {  # <log> <command...>; sets $started_pid
  local log=$1
  shift
  : >"$log"
  set -m
  "$@" >"$log" 2>&1 &
  started_pid=$!
  set +m
}
wait_for_line() {  # <log> <line> <seconds>
  local deadline=$((SECONDS + $3))
  until tr -d '\r' <"$1" | grep -qxF "$2"; do
    ((SECONDS < deadline)) || { cat "$1" >&2; fail "no line '$2' within $3 s"; }
    sleep 0.2
  done
}
# Sends Ctrl+C and expects exit code 0.
interrupt() {  # <pid> <name>
  local status=0
  kill -INT "$1"
  wait "$1" || status=$?
  ((status == 0)) || fail "$2 exited with $status after Ctrl+C"
}
# Runs to the end and prints the output without CRs; fails on a non-zero exit.
run_plain() {
  local output status=0
  output=$("$@" 2>&1) || status=$?
  ((status == 0)) || { echo "$output" >&2; fail "'$*' exited with $status"; }
  tr -d '\r' <<<"$output"
}
# Programs run through "${runner[@]}": Wine, or nothing for native ones.
runner=()
check_versions() {  # <directory/ or nothing> <suffix>
  local directory=$1 suffix=$2 program line
  for program in "${programs[@]}"; do
    line=$(run_plain "${runner[@]}" "$directory$program$suffix" --version)
    [[ "$line" == "$program $version" ]] || fail "$program --version printed '$line', not '$program $version'"
    echo "$line"
  done
  # --help's first line names the commit the archive was built from.
  line=$("${runner[@]}" "$directory${programs[0]}$suffix" --help | head -n 1 | tr -d '\r' || true)
  [[ "$line" == "${programs[0]} $version$commit_note" ]] ||
    fail "${programs[0]} --help begins with '$line', not '${programs[0]} $version$commit_note'"
  echo "$line"
}
# Records the running stand-in with dumper, replays the recording with
# emulator while a second dumper records the replay, all in the current
# directory: <dumper> <emulator> <stand-in>.
round_trip() {
  local dumper=$1 emulator=$2 standin=$3 standin_pid dumper_pid first replayed output
  start standin.log "${runner[@]}" "$standin" --sim iracing --rate 60 --seconds 30
  standin_pid=$started_pid
  start record.log "${runner[@]}" "$dumper" --fps 20
  dumper_pid=$started_pid
  wait_for_line record.log "Saver started" 60
  # Long enough that the second recorder, polling once a second, sees the
  # replay of it.
  sleep 3
  interrupt "$dumper_pid" dumper
  kill -TERM "$standin_pid" 2>/dev/null || true
  wait "$standin_pid" 2>/dev/null || true
  grep -q "^Connected to irac" record.log || { cat record.log >&2; fail "dumper did not connect"; }
  first=$(ls vove_dump_*.bin)
  (($(stat -c %s "$first") > 72)) || fail "$first holds no frame"

  mkdir replayed
  cd replayed
  start ../rerecord.log "${runner[@]}" "$dumper" --fps 20
  dumper_pid=$started_pid
  cd ..
  wait_for_line rerecord.log "Waiting for the connection" 60
  output=$(run_plain "${runner[@]}" "$emulator" --input-file "$first")
  local expected="Using emulator: irac
Frames per second: 20
Emulator started
Emulator reached end of file
Emulator thread stopped.
You can now close this window."
  [[ "$output" == "$expected" ]] || { echo "$output" >&2; fail "the replay printed other lines"; }
  wait_for_line rerecord.log "Saver started" 30
  interrupt "$dumper_pid" "replay's dumper"
  replayed=$(ls replayed/vove_dump_*.bin)
  (($(stat -c %s "$replayed") > 72)) || fail "the recording of the replay holds no frame"
  echo "recorded $first ($(stat -c %s "$first") bytes), replayed it, recorded the replay" \
       "($(stat -c %s "$replayed") bytes)"
}

step "Linux tarball: the unpacked programs run"
check_versions "$work/tar/vove-$version-linux-x86_64/bin/" ""

step "Windows copy under a fresh Wine prefix"
export WINEPREFIX=$work/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$WINEPREFIX"
# One server for the whole check, so programs started back to back never
# meet a server that is just exiting.
wineserver --persistent
wineboot --init >/dev/null 2>&1
export VOVE_NAME_PREFIX=vove_release_$$_
runner=(wine)
cd "$windows"
check_versions ./ .exe
# The stand-in is a test tool and not in the archive; it comes from the build.
mkdir "$work/windows_run"
cd "$work/windows_run"
round_trip "$windows/dumper.exe" "$windows/emulator.exe" "$repo/build/mingw/bin/sim_standin.exe"
cd "$repo"
wineserver -k >/dev/null 2>&1 || true
unset WINEPREFIX

step "Debian package: install, run from PATH, remove"
# apt reads a local package as an unprivileged user: give it a readable copy.
apt_dir=$work/apt
mkdir -m 755 "$apt_dir"
install -m 644 "$deb" "$apt_dir/"
if [[ "$(dpkg-query -W -f='${db:Status-Status}' vove 2>/dev/null || true)" == installed ]]; then
  fail "a vove package is installed already; remove it first"
fi
deb_installed=yes
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q -o DPkg::Lock::Timeout=300 \
  "$apt_dir/$(basename "$deb")" >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt-get install"; }
for program in "${programs[@]}"; do
  [[ "$(command -v "$program")" == "/usr/bin/$program" ]] || fail "$program is not /usr/bin/$program on PATH"
done
[[ -f /usr/share/doc/vove/LICENSE ]] || fail "no /usr/share/doc/vove/LICENSE"
mkdir "$work/native"
cd "$work/native"
runner=()
check_versions "" ""
round_trip dumper emulator "$repo/build/default/tools/sim_standin"
cd "$repo"
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get purge -y -q -o DPkg::Lock::Timeout=300 vove \
  >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt-get purge"; }
deb_installed=
[[ "$(dpkg-query -W -f='${db:Status-Status}' vove 2>/dev/null || true)" != installed ]] ||
  fail "vove is still installed"
while read -r file; do
  [[ ! -e "/$file" ]] || fail "/$file is left after the removal"
done < <(cd "$work/deb" && find . -type f | sed 's|^\./||')
[[ ! -e /usr/share/doc/vove ]] || fail "/usr/share/doc/vove is left after the removal"
echo "installed, ran from PATH, removed"

step "Done in $((SECONDS - started)) s"
ls -l "$out"
