# Cross-compiles the Windows programs with MinGW-w64 (posix thread model) on
# Debian. The libraries Debian does not ship for MinGW (Boost.ProgramOptions,
# GoogleTest) are built once by tools/windows/build_mingw_libraries.sh into
# build/mingw-deps (or $VOVE_MINGW_DEPS_DIR); everything else comes from the
# MinGW packages under /usr/x86_64-w64-mingw32.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Chosen at the first configure and kept in the cache, so a later automatic
# re-run of CMake finds the same libraries whatever the environment is then.
if(NOT VOVE_MINGW_DEPS_DIR)
  if(DEFINED ENV{VOVE_MINGW_DEPS_DIR})
    set(vove_mingw_deps "$ENV{VOVE_MINGW_DEPS_DIR}")
  else()
    set(vove_mingw_deps "${CMAKE_CURRENT_LIST_DIR}/../build/mingw-deps")
  endif()
  get_filename_component(vove_mingw_deps "${vove_mingw_deps}" ABSOLUTE)
  set(VOVE_MINGW_DEPS_DIR "${vove_mingw_deps}" CACHE PATH "Libraries built for MinGW")
endif()
set(vove_mingw_deps "${VOVE_MINGW_DEPS_DIR}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VOVE_MINGW_DEPS_DIR)

# Look for target headers and libraries only in the MinGW tree and in the
# libraries built for it, never in the host's /usr.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${vove_mingw_deps}/googletest"
    "${vove_mingw_deps}/boost")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs must run on a bare Windows machine: link the static archives,
# not the import libraries of DLLs that only a MinGW install has.
set(ZLIB_USE_STATIC_LIBS ON)
set(Boost_USE_STATIC_LIBS ON)
set(Boost_NO_BOOST_CMAKE ON)
set(Boost_NO_SYSTEM_PATHS ON)
# The include directory holds nothing but a `boost` link to the host's
# headers, so no other host header can leak into the build.
set(Boost_INCLUDE_DIR "${vove_mingw_deps}/boost/include" CACHE PATH "Boost headers for MinGW")
set(Boost_LIBRARY_DIR "${vove_mingw_deps}/boost/lib" CACHE PATH "Boost libraries for MinGW")
set(BOOST_ROOT "${vove_mingw_deps}/boost")

# Lets ctest and test discovery run the .exe files under Wine.
find_program(VOVE_WINE_PROGRAM wine)
if(VOVE_WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${VOVE_WINE_PROGRAM}")
endif()
