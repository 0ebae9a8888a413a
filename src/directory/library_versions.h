// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_LIBRARY_VERSIONS_H_
#define TAVREL_DIRECTORY_LIBRARY_VERSIONS_H_

#include <string>

namespace tavrel::ldap {

/// The LDAP client and SASL libraries this process runs with, as the lines "libldap: ..."
/// and "SASL: ..." that --version shows, each ending in a line end. Asked of the libraries
/// that are loaded, so a package built against one release and run with another tells the
/// truth; a library that cannot say gives "unknown".
std::string libraryVersionLines();

}  // namespace tavrel::ldap

#endif  // TAVREL_DIRECTORY_LIBRARY_VERSIONS_H_
