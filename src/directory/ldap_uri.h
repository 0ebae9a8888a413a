// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_LDAP_URI_H_
#define TAVREL_DIRECTORY_LDAP_URI_H_

#include <string_view>

namespace tavrel::ldap {

/// True when the host text is already an LDAP URI (ldap://, ldaps:// or ldapi://, in any
/// case): it names its server whole and is handed to the library as it stands rather than
/// built from host and port.
bool isUri(std::string_view host);

}  // namespace tavrel::ldap

#endif  // TAVREL_DIRECTORY_LDAP_URI_H_
