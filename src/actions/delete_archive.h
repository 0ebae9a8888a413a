// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_ACTIONS_DELETE_ARCHIVE_H_
#define TAVREL_ACTIONS_DELETE_ARCHIVE_H_

#include <string>
#include <vector>

#include "directory/ldap_client.h"

namespace tavrel {

/// What the archive of an account's subtree holds that matters before it is deleted.
struct ArchiveKeys {
  /// Recovery-information objects whose recovery password was read (and so is archived).
  int archived = 0;
  /// DNs of recovery-information objects that came back without a readable password.
  std::vector<std::string> unreadable;
};

ArchiveKeys recoveryKeys(const std::vector<ldap::Entry>& entries);

/// The subtree as comment lines for the undo journal, one object after another in the given
/// order (parents first): "#   dn: ...", then "#   name: value" for every value, values that
/// are not safe as LDIF text base64-encoded ("#   name:: ..."). The security descriptor,
/// read only for the guard, is left out. Objects in `keysNotArchived` get a line that says
/// their recovery password was not readable and is not in the archive. The list of writable
/// attributes, read for the records that bring the subtree back, is left out too.
std::string archiveText(const std::vector<ldap::Entry>& entries,
                        const std::vector<std::string>& keysNotArchived);

}  // namespace tavrel

#endif  // TAVREL_ACTIONS_DELETE_ARCHIVE_H_
