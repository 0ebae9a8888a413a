// SPDX-License-Identifier: Apache-2.0
#include "query/group_exclusion.h"

#include "common/console.h"
#include "common/text.h"
#include "directory/ldap_client.h"

namespace tavrel {

namespace {

constexpr std::string_view kTermStart = "(!(memberOf:1.2.840.113556.1.4.1941:=";
constexpr std::string_view kTermEnd = "))";
constexpr std::string_view kGroupFilter = "(objectClass=group)";
constexpr std::string_view kNotFoundPrefix = "ERROR: -exclgroup: no group ";
constexpr std::string_view kNotFoundSuffix = " in the directory";

}  // namespace

std::string filterValue(std::string_view text) {
  std::string value;
  for (char c : text) {
    if (c == '*' || c == '(' || c == ')' || c == '\\' || c == '\0') {
      value += formatText("\\%02x", static_cast<unsigned>(static_cast<unsigned char>(c)));
    } else {
      value += c;
    }
  }
  return value;
}

std::string excludedGroupTerms(const std::vector<std::string>& groups) {
  std::string terms;
  for (const std::string& group : groups) {
    terms.append(kTermStart).append(filterValue(group)).append(kTermEnd);
  }
  return terms;
}

bool excludedGroupsExist(DirectorySession& session, const std::vector<std::string>& groups) {
  bool all = true;
  for (const std::string& group : groups) {
    std::vector<ldap::Entry> entries;
    const int code = session.connection->search(group, ldap::kScopeBase, kGroupFilter, entries);
    if (code == ldap::kSuccess && !entries.empty()) continue;
    std::string line = std::string(kNotFoundPrefix) + group + std::string(kNotFoundSuffix);
    if (code != ldap::kSuccess) line += formatText(" (%d: ", code) + ldap::err2string(code) + ")";
    console::err(line + "\n");
    all = false;
  }
  return all;
}

}  // namespace tavrel
