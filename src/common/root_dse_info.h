// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_COMMON_ROOT_DSE_INFO_H_
#define TAVREL_COMMON_ROOT_DSE_INFO_H_

#include <set>
#include <string>

namespace tavrel {

/// The domain functional level from which the domain keeps lastLogonTimestamp (replicated
/// between its controllers), so that the last-logon time can be searched and shown.
constexpr int kLastLogonLevel = 2;

/// What the server's root entry says about the directory.
struct RootDseInfo {
  std::string defaultNamingContext;
  std::string rootDomainNamingContext;
  std::string dnsHostName;
  std::string configurationNamingContext;
  std::string subschemaSubentry;
  int domainFunctionality = 0;
  int forestFunctionality = 0;
  std::set<std::string> supportedCapabilities;
  bool capLdapInteg = false;
  bool capActiveDirectory = false;
  bool capActiveDirectoryV51 = false;
  bool capAdam = false;
  std::string directoryType;
  std::string domainMode;
  std::string forestMode;
};

}  // namespace tavrel

#endif  // TAVREL_COMMON_ROOT_DSE_INFO_H_
