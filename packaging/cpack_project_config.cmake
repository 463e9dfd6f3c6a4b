# Read by cpack before it builds a package. The same commit must give the same
# package bytes wherever and whenever it is built, so every time stamp in it is
# the last commit's (or a fixed date outside a git checkout), unless the caller
# set SOURCE_DATE_EPOCH already.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch "")
  find_program(VANTREL_GIT git)
  if(VANTREL_GIT)
    execute_process(COMMAND ${VANTREL_GIT} -C "${CPACK_VANTREL_SOURCE_DIR}" log -1 --format=%ct
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE failed ERROR_QUIET)
    if(failed)
      set(epoch "")
    endif()
  endif()
  if(NOT epoch MATCHES "^[0-9]+$")
    # 2026-12-07 00:00:00 UTC, the date of this version.
    set(epoch 1796601600)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
