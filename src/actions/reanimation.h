// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_ACTIONS_REANIMATION_H_
#define TAVREL_ACTIONS_REANIMATION_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "directory/ldap_client.h"
#include "directory/session.h"

namespace tavrel {

/// The attribute whose values name what the user may write on an object; read with the
/// archive so that the records that bring an object back hold only what can be written.
inline constexpr std::string_view kWritableAttributes = "allowedAttributesEffective";

/// The deleted object that the directory keeps of `objectGuid` (its raw 16 bytes), read under
/// the Show Deleted control below `namingContext`; none when the directory kept none or the
/// read failed.
std::optional<ldap::Entry> readDeletedObject(DirectorySession& session,
                                             std::string_view namingContext,
                                             std::string_view objectGuid);

/// The LDIF records, ready for ldapmodify, that bring back a deleted subtree: `archived` as
/// read before the delete (the account first, parents before children), `deleted` the
/// deleted objects read back for them, one per archived object (none where not found; with
/// the Recycle Bin off only the account's is looked at). The account is revived under its
/// old DN; without the Recycle Bin the attributes the delete stripped are written back and
/// the children added again; with it every child is revived in turn. Comments say what the
/// records cannot do, and when there is no deleted object to revive, that nothing can.
std::string restoreRecords(const std::vector<ldap::Entry>& archived,
                           const std::vector<std::optional<ldap::Entry>>& deleted, bool recycleBin);

/// Reads back what `restoreRecords` needs after a delete of the archived subtree succeeded,
/// and returns its records.
std::string readRestoreRecords(DirectorySession& session, std::string_view namingContext,
                               const std::vector<ldap::Entry>& archived, bool recycleBin);

/// A GUID's 16 bytes in the usual text form, the first three fields little-endian:
/// "a0b1c2d3-e4f5-0617-2839-4a5b6c7d8e9f"; empty when it is not 16 bytes.
std::string guidText(std::string_view bytes);

/// The archived account's (the first entry's) objectGUID as text; empty when not read.
std::string archivedGuid(const std::vector<ldap::Entry>& archived);

}  // namespace tavrel

#endif  // TAVREL_ACTIONS_REANIMATION_H_
