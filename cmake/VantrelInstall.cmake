# Where an install puts things, and how the shipped binaries are built.
#
# Every destination is one of GNUInstallDirs' relative folders, so an installed
# tree can be moved as a whole: the programs find their private libraries and
# their data relative to their own folder, along the same relative paths the
# install used.
include(GNUInstallDirs)

foreach(dir BINDIR LIBDIR DATAROOTDIR DATADIR MANDIR DOCDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    message(FATAL_ERROR "CMAKE_INSTALL_${dir} must be relative to the prefix "
                        "(the installed tree is relocatable): ${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()

set(VANTREL_INSTALL_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/vantrel)
set(VANTREL_INSTALL_PKGDATADIR ${CMAKE_INSTALL_DATADIR}/vantrel)
# From the programs' folder to the other two, each ending with '/'.
file(RELATIVE_PATH VANTREL_BIN_TO_PRIVATE_LIBDIR /prefix/${CMAKE_INSTALL_BINDIR}
     /prefix/${VANTREL_INSTALL_PRIVATE_LIBDIR})
file(RELATIVE_PATH VANTREL_BIN_TO_PKGDATADIR /prefix/${CMAKE_INSTALL_BINDIR}
     /prefix/${VANTREL_INSTALL_PKGDATADIR})
string(APPEND VANTREL_BIN_TO_PRIVATE_LIBDIR /)
string(APPEND VANTREL_BIN_TO_PKGDATADIR /)

# Hardening for everything built here. _FORTIFY_SOURCE needs the optimiser and
# gets in the way of the sanitizers, so only optimised builds without them get
# it. The compiler may already define it (at another level): -U first.
include(CheckCXXCompilerFlag)
include(CheckPIESupported)
check_pie_supported(LANGUAGES C CXX)
add_compile_options(-fstack-protector-strong)
check_cxx_compiler_flag(-fstack-clash-protection VANTREL_HAVE_STACK_CLASH_PROTECTION)
if(VANTREL_HAVE_STACK_CLASH_PROTECTION)
  add_compile_options(-fstack-clash-protection)
endif()
check_cxx_compiler_flag(-fcf-protection VANTREL_HAVE_CF_PROTECTION)
if(VANTREL_HAVE_CF_PROTECTION)
  add_compile_options(-fcf-protection)
endif()
add_link_options(LINKER:-z,relro LINKER:-z,now)
if(NOT VANTREL_SANITIZE AND NOT VANTREL_FUZZ)
  set(optimised "$<CONFIG:RelWithDebInfo,Release,MinSizeRel>")
  add_compile_options("$<${optimised}:-U_FORTIFY_SOURCE>" "$<${optimised}:-D_FORTIFY_SOURCE=2>")
endif()

# Nothing of the folders the build happened in ends up in a binary (nor in the
# debug information the build id is computed over), so two checkouts of one
# commit build the same bytes. The build folder is mapped last, as it may lie
# inside the source folder and the last matching map wins.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                    -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)

# A shipped binary carries no .comment section (compiler versions of every
# object it was linked from).
function(vantrel_drop_comment_section target)
  if(CMAKE_OBJCOPY)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment $<TARGET_FILE:${target}>
      VERBATIM)
  endif()
endfunction()

# vantrel_install_program(target [PRIVATE_LIBRARIES]): a program in bindir.
# Only one that links the private libraries gets a run path, to them (and to
# its own folder, for a portable folder).
function(vantrel_install_program target)
  cmake_parse_arguments(P "PRIVATE_LIBRARIES" "" "" ${ARGN})
  if(P_PRIVATE_LIBRARIES)
    set(rpath "\$ORIGIN/${VANTREL_BIN_TO_PRIVATE_LIBDIR}" "\$ORIGIN")
    list(TRANSFORM rpath REPLACE "/$" "")
  else()
    set(rpath "")
  endif()
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "${rpath}")
  vantrel_drop_comment_section(${target})
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# vantrel_install_private_library(target [PRIVATE_LIBRARIES]): a shared library
# only the programs load, in the private library folder. One that links other
# private libraries finds them beside itself; the others get no run path.
function(vantrel_install_private_library target)
  cmake_parse_arguments(P "PRIVATE_LIBRARIES" "" "" ${ARGN})
  if(P_PRIVATE_LIBRARIES)
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "\$ORIGIN")
  else()
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "")
  endif()
  vantrel_drop_comment_section(${target})
  install(TARGETS ${target} LIBRARY DESTINATION ${VANTREL_INSTALL_PRIVATE_LIBDIR})
endfunction()
