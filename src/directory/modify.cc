#include "directory/modify.h"

#include <string>
#include <vector>

#include "common/console.h"

namespace tavrel {

namespace {

/// Returned without a request when a DN has no first component to keep as the name.
constexpr int kInvalidDnSyntax = 0x22;

}  // namespace

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
  const std::vector<ldap::Control> controls = {{std::string(ldap::kTreeDeleteOid), true}};
  return session.connection->deleteExt(dn, controls);
}

int moveObject(DirectorySession& session, std::string_view dn, std::string_view newParent) {
  // The RDN goes over as written in the DN, letter case included, so a lower-cased DN stores
  // a lower-cased name under the new parent.
  std::vector<std::string> components = ldap::explodeDn(dn);
  if (components.empty()) return kInvalidDnSyntax;
  return session.connection->renameExt(dn, components.front(), newParent, true);
}

}  // namespace tavrel
