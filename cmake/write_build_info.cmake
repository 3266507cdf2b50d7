# Writes the build information header: the project's version and the commit
# of the checkout being built. Runs at every build (cmake -P), so a new
# commit is picked up without configuring again; configure_file leaves the
# header untouched when nothing changed, so nothing is recompiled then.
#
#   cmake -DVOVE_VERSION=... -DSOURCE_DIR=... -DINPUT=... -DOUTPUT=... -P write_build_info.cmake
set(VOVE_BUILD_COMMIT "")
find_program(vove_git git)
if(vove_git)
  execute_process(COMMAND "${vove_git}" rev-parse --short=12 HEAD
                  WORKING_DIRECTORY "${SOURCE_DIR}"
                  RESULT_VARIABLE status OUTPUT_VARIABLE commit ERROR_QUIET
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  # The source directory must be the top of the checkout: sources unpacked
  # inside some other repository are not built from that repository's commit.
  execute_process(COMMAND "${vove_git}" rev-parse --show-toplevel
                  WORKING_DIRECTORY "${SOURCE_DIR}"
                  RESULT_VARIABLE top_status OUTPUT_VARIABLE top ERROR_QUIET
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(status EQUAL 0 AND top_status EQUAL 0 AND commit MATCHES "^[0-9a-f]+$")
    get_filename_component(top "${top}" REALPATH)
    get_filename_component(source "${SOURCE_DIR}" REALPATH)
    if(top STREQUAL source)
      set(VOVE_BUILD_COMMIT "${commit}")
      # Without optional locks: a build must never hold the index lock that
      # a concurrent git command in the same checkout needs.
      execute_process(COMMAND "${vove_git}" --no-optional-locks status --porcelain
                              --untracked-files=no
                      WORKING_DIRECTORY "${SOURCE_DIR}"
                      RESULT_VARIABLE status OUTPUT_VARIABLE changes ERROR_QUIET)
      if(status EQUAL 0 AND NOT changes STREQUAL "")
        string(APPEND VOVE_BUILD_COMMIT "-dirty")
      endif()
    endif()
  endif()
endif()
configure_file("${INPUT}" "${OUTPUT}" @ONLY)
