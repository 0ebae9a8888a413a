// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_ACTIONS_DELETE_GUARD_H_
#define TAVREL_ACTIONS_DELETE_GUARD_H_

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "directory/session.h"

namespace tavrel {

/// What was read about an account before it is deleted or moved: whether it, or anything
/// below it, is protected from accidental deletion, and what lies below it.
struct SubtreeReading {
  enum class Verdict { kClear, kProtected, kUnknown };
  Verdict verdict = Verdict::kUnknown;
  /// The RESULT text when the verdict is not kClear.
  std::string refusal;
  /// Objects below the account (a tree delete removes them all) by their most specific
  /// class, the class names ordered byte-wise.
  int children = 0;
  std::map<std::string, int> childClasses;
  /// For a delete: the account and everything below it with all attributes the user may
  /// read, parents first, as the archive keeps them.
  std::vector<ldap::Entry> entries;
};

/// Reads the account with its whole subtree, with the objects' DACLs and classes (for a
/// delete, with every attribute the user may read, kept in `entries`). With
/// `checkProtection` (a directory that keeps security descriptors) an object that denies Everyone
/// Delete or Delete-subtree makes the verdict kProtected, and any descriptor that is missing or
/// cannot be parsed, a failed read or a part of the subtree on another server makes it kUnknown:
/// nothing is deleted or moved on partial knowledge.
SubtreeReading readSubtree(DirectorySession& session, std::string_view dn, bool forDelete,
                           bool checkProtection);

/// Whether the directory's schema (the subschema entry `subschemaDn`) defines
/// nTSecurityDescriptor, that is whether objects can be protected from deletion at all. When
/// the schema cannot be read the answer is yes, so that the guards stay on.
bool keepsSecurityDescriptors(DirectorySession& session, std::string_view subschemaDn);

/// " (2 children: msFVE-RecoveryInformation 1, serviceConnectionPoint 1)", or empty for an
/// account without children, whose texts stay as they always were.
std::string childrenSummary(const SubtreeReading& reading);

}  // namespace tavrel

#endif  // TAVREL_ACTIONS_DELETE_GUARD_H_
