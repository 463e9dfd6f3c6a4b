# Run by cpack after the install into its staging folder: what only the Debian
# package holds, its change log.
set(docdir "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/${CPACK_VANTREL_DOCDIR}")
if(NOT IS_DIRECTORY "${docdir}")
  message(FATAL_ERROR "no documentation folder in the staged tree: ${docdir}")
endif()
file(COPY "${CPACK_VANTREL_CHANGELOG}" DESTINATION "${docdir}"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
