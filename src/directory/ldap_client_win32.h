// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_LDAP_CLIENT_WIN32_H_
#define TAVREL_DIRECTORY_LDAP_CLIENT_WIN32_H_

// clang-format off
#include <windows.h>
#include <winldap.h>
// clang-format on

#include "directory/ldap_client.h"

namespace tavrel::ldap {

/// The wldap32 session under a connection made by init(); null once it is unbound. Only for
/// tests, which need a simple bind against a test server that the program never makes.
LDAP* nativeHandle(Connection& connection);

}  // namespace tavrel::ldap

#endif  // TAVREL_DIRECTORY_LDAP_CLIENT_WIN32_H_
