# The Debian package: `cpack -G DEB` (or the `package` target) in the build
# folder makes vantrel_<version>-1_<architecture>.deb, installed under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vantrel developers")
set(CPACK_PACKAGE_CONTACT "Vantrel developers <dev@vantrel.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "TELNET reader for small-office ISDN routers")
# CPack puts the summary above this as the package's synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Vantrel reads status and configuration from small-office ISDN routers
(MT128-NET, MN128-SOHO, MN128-SOHO-SL10, MN128-SOHO-SL11) over TELNET.
Pick a saved command from the operation panel or type one: the program
connects, logs in, runs it and shows the router's answer cleaned of echo
and prompt lines. The same cycle runs from the command line, also without
a display.
.
The package also holds vantrel-routersim, a router simulator for trying
the program without a router.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Vantrel developers <dev@vantrel.example>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.vantrel.example/")
# The libraries the binaries link are found by dpkg-shlibdeps; the Japanese
# font the windows draw their texts with and Qt's Japanese translation of its
# own texts are not linked, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

# CPack gives every package with a library below /usr/lib maintainer scripts
# that run ldconfig. Ours are private, found through the run path, so that
# would only cost time and leave the package behind in dpkg's "rc" state after
# a remove. Naming control files of those names that do not exist turns the
# generated ones off, and a missing file is left out of the package.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_BINARY_DIR}/no-maintainer-scripts/postinst
    ${CMAKE_CURRENT_BINARY_DIR}/no-maintainer-scripts/postrm)

# Read by cpack itself: file times from the last commit (reproducible
# packages), and the Debian change log added to the staged tree.
set(CPACK_VANTREL_SOURCE_DIR ${CMAKE_SOURCE_DIR})
set(CPACK_VANTREL_CHANGELOG ${DOC_ROOT}/changelog.Debian.gz)
set(CPACK_VANTREL_DOCDIR ${CMAKE_INSTALL_DOCDIR})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/cpack_project_config.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/cpack_stage_debian_files.cmake)

include(CPack)
