// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_KERBEROS_LOGIN_H_
#define TAVREL_DIRECTORY_KERBEROS_LOGIN_H_

#include <string>

#include "common/secret_text.h"

/// Signing in to Kerberos with a name and password for a bind as someone other than the
/// logged-on user. The credentials go into an in-memory cache of this process, which every
/// later GSSAPI bind of the process uses; the user's own ticket cache is neither read nor
/// changed.
namespace tavrel::ldap {

struct KerberosLogin {
  /// 0 when the credentials are in place; otherwise the LDAP result code the bind reports
  /// (invalid credentials for a name or password the KDC refused, local error otherwise).
  int code = 0;
  /// Why it failed, in the user's terms, with Kerberos's own words in parentheses.
  std::string reason;
};

KerberosLogin loginWithPassword(const std::string& user, const SecretText& password);

/// Whether loginWithPassword has put credentials in place for this process: its binds then
/// offer only the Kerberos mechanisms, never a local identity such as EXTERNAL.
bool explicitLoginActive();

}  // namespace tavrel::ldap

#endif  // TAVREL_DIRECTORY_KERBEROS_LOGIN_H_
