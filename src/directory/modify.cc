// SPDX-License-Identifier: Apache-2.0
#include "directory/modify.h"

#include <string>
#include <vector>

#include "common/console.h"
#include "common/text.h"

namespace tavrel {

namespace {

/// Returned without a request when a DN has no first component to keep as the name.
constexpr int kInvalidDnSyntax = 0x22;

}  // namespace

void setWriteTimeout(int seconds) {
  ldap::setWriteTimeout(seconds);
}

int setAttribute(DirectorySession& session, std::string_view dn, std::string_view attribute,
                 std::string_view value) {
  if (console::debug()) {
    std::string line = "DEBUG: Setting ";
    line.append(dn).append(" - ").append(attribute).append(" - ").append(value).append("\n");
    console::debugOut(line);
  }
  int result = session.connection->modifyReplace(dn, attribute, value);
  console::debugOut("DEBUG: uErr=" + std::to_string(result) + "\n");
  return result;
}

int deleteTree(DirectorySession& session, std::string_view dn) {
  // Critical, so a server without tree delete refuses the whole operation rather than
  // treating it as a plain delete.
  const std::vector<ldap::Control> controls = {{std::string(ldap::kTreeDeleteOid), true, {}}};
  return session.connection->deleteExt(dn, controls);
}

std::string storedDn(DirectorySession& session, std::string_view dn) {
  std::vector<ldap::Entry> entries;
  if (session.connection->search(dn, ldap::kScopeBase, "(objectClass=*)", entries) !=
          ldap::kSuccess ||
      entries.empty()) {
    return std::string(dn);
  }
  const std::vector<std::string> stored = ldap::explodeDn(entries.front().dn);
  const std::vector<std::string> written = ldap::explodeDn(dn);
  // Only the letter case may differ; anything else means the read found another object.
  if (stored.empty() || written.empty() || !equalsIgnoringCase(stored.front(), written.front())) {
    return std::string(dn);
  }
  return entries.front().dn;
}

int moveStoredObject(DirectorySession& session, std::string_view dn, std::string_view stored,
                     std::string_view newParent) {
  // The run works with lower-cased DNs; sending the lower-cased RDN would rename the account
  // as a side effect, losing the spelling of its name.
  std::vector<std::string> components = ldap::explodeDn(stored);
  if (components.empty()) components = ldap::explodeDn(dn);
  if (components.empty()) return kInvalidDnSyntax;
  return session.connection->renameExt(dn, components.front(), newParent, true);
}

int moveObject(DirectorySession& session, std::string_view dn, std::string_view newParent) {
  if (ldap::explodeDn(dn).empty()) return kInvalidDnSyntax;
  return moveStoredObject(session, dn, storedDn(session, dn), newParent);
}

}  // namespace tavrel
