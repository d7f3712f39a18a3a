# Writes OUTPUT (a header defining VESK_COMMIT) from the git commit of
# SOURCE_DIR, when SOURCE_DIR is the top of a git checkout; an unpacked source
# tree without git history gets an empty commit. Run at every build; the file
# is rewritten only when its text changes, so nothing recompiles needlessly.
set(commit "")
if(GIT)
  execute_process(COMMAND ${GIT} rev-parse --show-toplevel WORKING_DIRECTORY ${SOURCE_DIR}
                  OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE rc)
  if(rc EQUAL 0)
    get_filename_component(top "${top}" REALPATH)
    get_filename_component(source "${SOURCE_DIR}" REALPATH)
  endif()
  if(rc EQUAL 0 AND top STREQUAL source)
    execute_process(COMMAND ${GIT} rev-parse --short=10 HEAD WORKING_DIRECTORY ${SOURCE_DIR}
                    OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    # Tracked files that differ from the commit make the build not quite that commit.
    execute_process(COMMAND ${GIT} diff --quiet HEAD -- WORKING_DIRECTORY ${SOURCE_DIR}
                    RESULT_VARIABLE dirty ERROR_QUIET)
    if(commit AND NOT dirty EQUAL 0)
      set(commit "${commit} with local changes")
    endif()
  endif()
endif()
set(text "// Generated at build time by cmake/build_info.cmake.\n#define VESK_COMMIT \"${commit}\"\n")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUTPUT} "${text}")
endif()
