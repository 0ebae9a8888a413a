// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_LIBLDAP_SESSION_H_
#define TAVREL_DIRECTORY_LIBLDAP_SESSION_H_

#include <ldap.h>

#include "directory/ldap_client.h"

/// What every libldap connection of the POSIX adapter shares, the session's own and those
/// opened to follow a reference: result-code numbering, the session options, the bind as the
/// logged-on user and the decoding of entries.
namespace tavrel::ldap {

/// libldap numbers its client-side failures negatively (LDAP_SERVER_DOWN is -1); the rest of
/// the program sees them as the Windows client and RFC 1823 number them, 80 - c (0x51 for a
/// server that cannot be reached). Other codes pass unchanged.
int fromLibrary(int code);
/// The inverse of fromLibrary, for asking the library about a code.
int toLibrary(int code);

/// The bound for one synchronous operation (set with setTimeouts).
int operationTimeoutSeconds();

/// The bound for the answer to one write (set with setWriteTimeout).
int writeTimeoutSeconds();

/// The settings every connection of the session gets: time-outs, the Kerberos service name
/// taken from the host name as given (looked up when the host is an address), no SASL
/// security layer inside ldaps://, and the bind as the same user on connections libldap
/// opens by itself to chase a referral.
void applySessionOptions(LDAP* ld);

/// What the bind of a connection opened for a reference must reach, taken from the session's
/// own bind: never a weaker mechanism, never a thinner security layer.
struct BindFloor {
  bool kerberosOnly = false;  ///< the session bound with GSSAPI or GSS-SPNEGO
  int minSsf = 0;             ///< the session's SASL security layer over plain ldap://
};

/// The floor that the bound session `ld` sets for the connections of its references.
BindFloor bindFloorOf(LDAP* ld);

/// The negotiated bind as the logged-on user, with only the mechanisms the program means:
/// GSS-SPNEGO or GSSAPI from the ticket cache, EXTERNAL over ldapi as well; over plain
/// ldap:// a SASL security layer with integrity (sealing where the mechanism offers it) is
/// required. A server that offers none of them, or no security layer, is refused before or
/// right after the bind, with the reason as the session's diagnostic message. Returns the
/// library's code.
int bindAsUser(LDAP* ld, const BindFloor& floor = {});

/// Decodes one entry message into `entry`, reusing the strings `entry` already holds, so a
/// search of many pages does not allocate every name and value afresh.
void readEntry(LDAP* ld, LDAPMessage* message, Entry& entry);

/// Closes a connection owned through a unique_ptr.
struct Unbinder {
  void operator()(LDAP* ld) const { ldap_unbind_ext_s(ld, nullptr, nullptr); }
};

}  // namespace tavrel::ldap

#endif  // TAVREL_DIRECTORY_LIBLDAP_SESSION_H_
