// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_ACCOUNT_NAME_H_
#define TAVREL_DIRECTORY_ACCOUNT_NAME_H_

#include <string>
#include <string_view>

namespace tavrel {

/// An account name as typed for -user, split into its domain and its own name.
struct AccountName {
  std::string domain;  ///< DOMAIN of DOMAIN\name or REALM of name@REALM; empty for a bare name
  std::string name;
};

/// DOMAIN\name and name@REALM are split at the first backslash or the last at-sign; any
/// other text is a name in the default domain.
AccountName splitAccountName(std::string_view text);

/// The Kerberos principal for an account: name@REALM with the realm in capitals, as Active
/// Directory spells its realms. A domain without a dot is a short (NetBIOS) domain name: it
/// stands for the default realm when it is that realm's first label, and is taken as a realm
/// of its own otherwise. A bare name gets the default realm; without one the name stays as it
/// is, for Kerberos to refuse.
std::string kerberosPrincipal(const AccountName& account, std::string_view defaultRealm);

}  // namespace tavrel

#endif  // TAVREL_DIRECTORY_ACCOUNT_NAME_H_
