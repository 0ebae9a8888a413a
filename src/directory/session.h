// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_SESSION_H_
#define TAVREL_DIRECTORY_SESSION_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "directory/ldap_client.h"

namespace tavrel {

/// The run's one bound LDAP session.
struct DirectorySession {
  std::unique_ptr<ldap::Connection> connection;
};

/// Opens and binds the session as the logged-on user, or as `identity` when one is given;
/// reports every failure in the common format and returns none when the session cannot be
/// used.
std::optional<DirectorySession> OpenLDAP(const std::optional<std::string>& host,
                                         bool chaseReferrals,
                                         const ldap::BindIdentity* identity = nullptr);

/// "%s: [%s] Error 0x%0x (%d) - %s\n" on standard error.
void reportLdapError(std::string_view label, std::string_view subject, int code);

/// The client library's text for a result code.
std::string ldapErrorText(int code);

}  // namespace tavrel

#endif  // TAVREL_DIRECTORY_SESSION_H_
