// SPDX-License-Identifier: Apache-2.0
#include "directory/root_dse.h"

#include <string>
#include <vector>

#include "common/console.h"
#include "common/text.h"

namespace tavrel {

namespace {

constexpr char kCapLdapInteg[] = "1.2.840.113556.1.4.1791";
constexpr char kCapActiveDirectory[] = "1.2.840.113556.1.4.800";
constexpr char kCapActiveDirectoryV51[] = "1.2.840.113556.1.4.1670";
constexpr char kCapAdam[] = "1.2.840.113556.1.4.1851";
constexpr char kCapWindows2008[] = "1.2.840.113556.1.4.1935";
constexpr char kCapWindows2008R2[] = "1.2.840.113556.1.4.2080";
constexpr char kCapWindows2012[] = "1.2.840.113556.1.4.2237";

constexpr char kTypeLdapInteg[] = "Unknown Windows LDAP";
constexpr char kTypeWindows2000[] = "Windows 2000";
constexpr char kTypeAdam[] = "Active Directory Application Mode";
constexpr char kTypeWindows2003[] = "Windows Server 2003";
constexpr char kTypeWindows2008[] = "Windows Server 2008";
constexpr char kTypeWindows2008R2[] = "Windows Server 2008 R2";
constexpr char kTypeWindows2012[] = "Windows Server 2012 or later";

struct ModeTexts {
  int level;
  const char* domain;
  const char* forest;
};

/// Mode texts by functional level; levels not listed (8, 9, above 10, negative) have none.
constexpr ModeTexts kModes[] = {
    {0, "Windows 2000 Mixed Mode", "Windows 2000 Mixed Forest Mode"},
    {1, "Windows Server 2003 Interim Domain Mode", "Windows Server 2003 Interim Forest Mode"},
    {2, "Windows Server 2003 Domain Mode", "Windows Server 2003 Forest Mode"},
    {3, "Windows Server 2008 Domain Mode", "Windows Server 2008 Forest Mode"},
    {4, "Windows Server 2008 R2 Domain Mode", "Windows Server 2008 R2 Forest Mode"},
    {5, "Windows Server 2012 Domain Mode", "Windows Server 2012 Forest Mode"},
    {6, "Windows Server 2012 R2 Domain Mode", "Windows Server 2012 R2 Forest Mode"},
    {7, "Windows Server 2016 Domain Mode", "Windows Server 2016 Forest Mode"},
    {10, "Windows Server 2025 Domain Mode", "Windows Server 2025 Forest Mode"},
};

const ModeTexts* modesFor(int level) {
  for (const ModeTexts& modes : kModes) {
    if (modes.level == level) return &modes;
  }
  return nullptr;
}

constexpr char kSearchFailure[] = "LDAP_SEARCH_S: 0x%0x\nLDAP_SEARCH_S: %s\n\n";

/// The values of `name` in the entry; attribute names compare without regard to case, as
/// the directory treats them.
const std::vector<std::string>* findValues(const ldap::Entry& entry, std::string_view name) {
  std::string wanted = lowerCase(name);
  for (const ldap::Attribute& attribute : entry.attributes) {
    if (lowerCase(attribute.name) == wanted) return &attribute.values;
  }
  return nullptr;
}

std::string firstValue(const ldap::Entry& entry, std::string_view name) {
  const std::vector<std::string>* values = findValues(entry, name);
  return values != nullptr && !values->empty() ? values->front() : std::string();
}

int levelOf(const std::string& text) {
  return readInt(text);
}

}  // namespace

int gatherRootDse(DirectorySession& session, RootDseInfo& info) {
  info = RootDseInfo{};
  std::vector<ldap::Entry> entries;
  int result = session.connection->search("", ldap::kScopeBase, "(objectClass=*)", entries);
  if (result != ldap::kSuccess) {
    console::err(
        formatText(kSearchFailure, static_cast<unsigned>(result), ldapErrorText(result).c_str()));
    return result;
  }
  // A server that returns no root entry at all is treated like one without any of the
  // attributes: every field keeps its start value.
  if (!entries.empty()) {
    const ldap::Entry& root = entries.front();
    info.defaultNamingContext = firstValue(root, "defaultNamingContext");
    info.rootDomainNamingContext = firstValue(root, "rootDomainNamingContext");
    info.dnsHostName = firstValue(root, "dnsHostName");
    info.configurationNamingContext = firstValue(root, "configurationNamingContext");
    info.subschemaSubentry = firstValue(root, "subschemaSubentry");
    info.domainFunctionality = levelOf(firstValue(root, "domainFunctionality"));
    info.forestFunctionality = levelOf(firstValue(root, "forestFunctionality"));
    if (const auto* capabilities = findValues(root, "supportedCapabilities")) {
      info.supportedCapabilities.insert(capabilities->begin(), capabilities->end());
    }
  }
  classifyDirectory(info);
  return ldap::kSuccess;
}

void classifyDirectory(RootDseInfo& info) {
  const auto& capabilities = info.supportedCapabilities;
  info.capLdapInteg = capabilities.count(kCapLdapInteg) != 0;
  info.capActiveDirectory = capabilities.count(kCapActiveDirectory) != 0;
  info.capActiveDirectoryV51 = capabilities.count(kCapActiveDirectoryV51) != 0;
  info.capAdam = capabilities.count(kCapAdam) != 0;

  // Later capabilities override earlier ones: a 2003 server also lists the 2000 capability.
  if (info.capLdapInteg) info.directoryType = kTypeLdapInteg;
  if (info.capActiveDirectory) info.directoryType = kTypeWindows2000;
  if (info.capAdam) info.directoryType = kTypeAdam;
  if (info.capActiveDirectoryV51) info.directoryType = kTypeWindows2003;
  if (capabilities.count(kCapWindows2008) != 0) info.directoryType = kTypeWindows2008;
  if (capabilities.count(kCapWindows2008R2) != 0) info.directoryType = kTypeWindows2008R2;
  if (capabilities.count(kCapWindows2012) != 0) info.directoryType = kTypeWindows2012;

  if (info.capActiveDirectoryV51) {
    if (const ModeTexts* modes = modesFor(info.domainFunctionality)) {
      info.domainMode = modes->domain;
    }
    if (const ModeTexts* modes = modesFor(info.forestFunctionality)) {
      info.forestMode = modes->forest;
    }
  }
}

}  // namespace tavrel
