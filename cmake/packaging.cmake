# Installation (cmake --install) and the Debian package (cpack -G DEB in the build folder).

include(GNUInstallDirs)

# The package version is the program's own: "V01.05.00cpp" in common/version.h is 1.5.0.
file(STRINGS ${CMAKE_SOURCE_DIR}/src/common/version.h tavrel_version_line
     REGEX "kVersionText = \"V[0-9]+\\.[0-9]+\\.[0-9]+")
string(REGEX REPLACE ".*\"V0*([0-9]+)\\.0*([0-9]+)\\.0*([0-9]+).*" "\\1.\\2.\\3"
       TAVREL_PACKAGE_VERSION "${tavrel_version_line}")

install(TARGETS tavrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(WIN32)
  return()
endif()
install(FILES ${CMAKE_SOURCE_DIR}/doc/tavrel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/doc/tavrel.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tavrel)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrel)
set(CPACK_PACKAGE_VERSION ${TAVREL_PACKAGE_VERSION})
set(CPACK_PACKAGE_CONTACT "Tavrel project <tavrel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "report, disable, move or delete stale Active Directory accounts")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
       "Finds computer or user accounts whose password was last set, or whose last logon was\n"
       "recorded, more than a number of days ago, writes a report of them (HTML, CSV, JSON)\n"
       "and on request disables, moves or deletes them behind guards: nothing is written\n"
       "without -forreal, at most 10 accounts per run unless told otherwise, deletes only of\n"
       "disabled accounts, never a domain controller.")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tavrel.example.org/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# tavrel_<version>_<arch>.deb
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The shared libraries the binary links (dpkg-shlibdeps: MIT Kerberos for the sign-in of -user
# among them), plus the SASL plugin that the Kerberos bind loads at run time and no link line
# shows.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS libsasl2-modules-gssapi-mit)
# kinit and klist, to get the ticket the bind uses.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS krb5-user)
include(CPack)
