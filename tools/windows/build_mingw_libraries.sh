#!/usr/bin/env bash
# Builds, once, the libraries the Windows cross build needs and Debian does
# not ship for MinGW:
#   - Boost.ProgramOptions, compiled from Debian's own source package of the
#     Boost version whose headers are installed, against those headers;
#   - GoogleTest, from Debian's googletest sources in /usr/src/googletest.
# Results are cached in build/mingw-deps (or $VOVE_MINGW_DEPS_DIR), where
# cmake/mingw-w64-x86_64.cmake finds them. A later run with the same package
# versions does nothing; the source package is downloaded only once.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
deps=${VOVE_MINGW_DEPS_DIR:-$repo/build/mingw-deps}
toolchain=$repo/cmake/mingw-w64-x86_64.cmake
cxx=x86_64-w64-mingw32-g++-posix
ar=x86_64-w64-mingw32-ar
jobs=$(nproc 2>/dev/null || echo 2)

"$repo/tools/install_packages.sh" \
  g++-mingw-w64-x86-64-posix libboost1.74-dev nlohmann-json3-dev googletest dpkg-dev xz-utils cmake ninja-build

mkdir -p "$deps"
deps=$(cd "$deps" && pwd)
# Two builds starting at once must not both fill the cache.
exec 9>"$deps/.lock"
flock 9

# ---- Boost.ProgramOptions ---------------------------------------------------

boost_source_package=$(dpkg-query -W -f='${source:Package}' libboost1.74-dev)
boost_version=$(dpkg-query -W -f='${source:Version}' libboost1.74-dev)
boost_flags=(-std=c++17 -O2 -DNDEBUG -DBOOST_BIND_GLOBAL_PLACEHOLDERS)
boost_stamp="$boost_source_package $boost_version ${boost_flags[*]} $($cxx -dumpversion)"
boost_dir=$deps/boost
boost_library=$boost_dir/lib/libboost_program_options.a

# A private apt state with source entries derived from the machine's own
# package sources, read now: the machine's configuration stays untouched and
# the repository names no package host.
write_source_entries() {
  local out=$1 file
  : >"$out/sources.list"
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f "$file" ]] || continue
    sed -n -E 's/^[[:space:]]*deb[[:space:]]+/deb-src /p' "$file" >>"$out/sources.list"
  done
  for file in /etc/apt/sources.list.d/*.sources; do
    [[ -f "$file" ]] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Enabled:[[:space:]]*no/ { next }
         /(^|\n)Types:[^\n]*deb([[:space:]]|$)/ {
           sub(/Types:[^\n]*/, "Types: deb-src"); print }' \
      "$file" >"$out/sources.list.d/$(basename "$file")"
  done
}

fetch_boost_source() {
  local download=$deps/download
  local dsc=$download/${boost_source_package}_${boost_version#*:}.dsc
  if [[ -f "$dsc" ]]; then
    echo "$dsc"
    return
  fi
  local apt_dir=$deps/apt
  rm -rf "$apt_dir"
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" \
    "$download"
  write_source_entries "$apt_dir"
  local apt=(apt-get -q -o "Dir::Etc::SourceList=$apt_dir/sources.list"
    -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d" -o "Dir::State::Lists=$apt_dir/lists"
    -o "Dir::Cache=$apt_dir/cache")
  local log=$apt_dir/log
  echo "Downloading the source package $boost_source_package $boost_version" >&2
  # A third-party source without source packages makes update complain;
  # whether the one package needed is there is decided by the download.
  "${apt[@]}" update >"$log" 2>&1 || true
  if ! (cd "$download" && "${apt[@]}" source --download-only \
          "$boost_source_package=$boost_version" >>"$log" 2>&1); then
    cat "$log" >&2
    echo "error: cannot download the source package $boost_source_package $boost_version" >&2
    exit 1
  fi
  echo "$dsc"
}

build_boost_program_options() {
  local dsc sources extracted
  dsc=$(fetch_boost_source)
  sources=$boost_dir/src
  if [[ ! -f "$sources/.complete" ]]; then
    echo "Unpacking Boost.ProgramOptions sources from $(basename "$dsc")"
    extracted=$(mktemp -d "$deps/unpack.XXXXXX")
    # dpkg-source applies Debian's patches, so the sources match the headers.
    # The download was checked against the signed package index; the .dsc's
    # own signature needs a keyring this machine may lack, so its warning
    # is not shown.
    if ! dpkg-source --no-copy -x "$dsc" "$extracted/tree" >"$extracted/log" 2>&1; then
      cat "$extracted/log" >&2
      exit 1
    fi
    rm -rf "$sources"
    mkdir -p "$sources"
    cp "$extracted/tree/libs/program_options/src/"*.cpp "$sources/"
    rm -rf "$extracted"
    touch "$sources/.complete"
  fi

  echo "Building Boost.ProgramOptions for MinGW"
  rm -rf "${boost_dir:?}/include" "${boost_dir:?}/obj" "${boost_dir:?}/lib"
  mkdir -p "$boost_dir/include" "$boost_dir/obj" "$boost_dir/lib"
  ln -s /usr/include/boost "$boost_dir/include/boost"
  export cxx boost_dir
  export boost_flags_joined="${boost_flags[*]}"
  # shellcheck disable=SC2016  # expanded by the inner shell
  find "$sources" -name '*.cpp' -print0 | xargs -0 -n1 -P"$jobs" sh -c '
    object="$boost_dir/obj/$(basename "$1" .cpp).o"
    $cxx $boost_flags_joined -I"$boost_dir/include" -c "$1" -o "$object"' compile
  "$ar" rcs "$boost_library" "$boost_dir/obj/"*.o
  echo "$boost_stamp" >"$boost_dir/stamp"
}

if [[ -f "$boost_library" && "$(cat "$boost_dir/stamp" 2>/dev/null)" == "$boost_stamp" ]]; then
  echo "Boost.ProgramOptions for MinGW is up to date"
else
  build_boost_program_options
fi

# ---- GoogleTest -------------------------------------------------------------

gtest_version=$(dpkg-query -W -f='${Version}' googletest)
gtest_stamp="googletest $gtest_version $($cxx -dumpversion)"
gtest_dir=$deps/googletest

if [[ -f "$gtest_dir/lib/libgtest.a" && "$(cat "$gtest_dir/stamp" 2>/dev/null)" == "$gtest_stamp" ]]; then
  echo "GoogleTest for MinGW is up to date"
else
  echo "Building GoogleTest for MinGW"
  rm -rf "$gtest_dir" "$deps/googletest-build"
  # Win32 threading inside the library, as its headers assume on Windows.
  cmake -S /usr/src/googletest -B "$deps/googletest-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$gtest_dir" -Dgtest_disable_pthreads=ON -DBUILD_GMOCK=ON >/dev/null
  cmake --build "$deps/googletest-build" -j"$jobs"
  cmake --install "$deps/googletest-build" >/dev/null
  rm -rf "$deps/googletest-build"
  echo "$gtest_stamp" >"$gtest_dir/stamp"
fi
