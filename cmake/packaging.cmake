# SPDX-License-Identifier: Apache-2.0
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
# Debian keeps man pages and changelogs compressed, without a time stamp in the gzip header
# (the same sources give the same package).
find_program(TAVREL_GZIP gzip REQUIRED)
set(tavrel_compressed)
foreach(pair "doc/tavrel.1;tavrel.1.gz" "doc/debian/changelog;changelog.gz")
  list(GET pair 0 source)
  list(GET pair 1 name)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${name}
                     COMMAND ${TAVREL_GZIP} -9nc ${CMAKE_SOURCE_DIR}/${source} > ${name}
                     DEPENDS ${CMAKE_SOURCE_DIR}/${source}
                     WORKING_DIRECTORY ${CMAKE_BINARY_DIR} VERBATIM)
  list(APPEND tavrel_compressed ${CMAKE_BINARY_DIR}/${name})
endforeach()
add_custom_target(tavrel_compressed_docs ALL DEPENDS ${tavrel_compressed})
install(FILES ${CMAKE_BINARY_DIR}/tavrel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_SOURCE_DIR}/doc/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_SOURCE_DIR}/doc/examples/tavrel-report.service
              ${CMAKE_SOURCE_DIR}/doc/examples/tavrel-report.timer
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(FILES ${CMAKE_SOURCE_DIR}/doc/tavrel.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tavrel)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrel)
set(CPACK_PACKAGE_VERSION ${TAVREL_PACKAGE_VERSION})
set(CPACK_PACKAGE_CONTACT "Tavrel project <tavrel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "report, disable, move or delete stale Active Directory accounts")
# Lines of at most 79 characters, as Debian's tools show them.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
       "Finds computer or user accounts whose password was last set, or whose last\n"
       "logon was recorded, more than a number of days ago, writes a report of them\n"
       "(HTML, CSV, JSON) and on request disables, moves or deletes them behind\n"
       "guards: nothing is written without -forreal, at most 10 accounts per run\n"
       "unless told otherwise, deletes only of disabled accounts, never a domain\n"
       "controller.")
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
