# cmake -DSOURCE=... -DTARGET=... -P copy_if_absent.cmake
# Copies SOURCE to TARGET unless TARGET exists already.
if(NOT EXISTS "${TARGET}")
  configure_file("${SOURCE}" "${TARGET}" COPYONLY)
endif()
