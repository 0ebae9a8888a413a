#ifndef TAVREL_DIRECTORY_ROOT_DSE_H_
#define TAVREL_DIRECTORY_ROOT_DSE_H_

#include <set>
#include <string>

#include "directory/session.h"

namespace tavrel {

/// What the server's root entry says about the directory.
struct RootDseInfo {
  std::string defaultNamingContext;
  std::string rootDomainNamingContext;
  std::string dnsHostName;
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
  bool valid = false;
};

/// Reads the root entry; on a failed search reports it, closes the session and leaves
/// `valid` false.
RootDseInfo gatherRootDse(DirectorySession& session);

/// Sets the capability flags, the directory type and the mode texts.
void classifyDirectory(RootDseInfo& info);

}  // namespace tavrel

#endif  // TAVREL_DIRECTORY_ROOT_DSE_H_
