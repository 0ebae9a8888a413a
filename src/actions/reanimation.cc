// SPDX-License-Identifier: Apache-2.0
#include "actions/reanimation.h"

#include <algorithm>
#include <set>

#include "actions/ldif.h"
#include "actions/undo_journal.h"
#include "common/text.h"
#include "query/dn_key.h"

namespace tavrel {

namespace {

// Deleted objects are visible only under this control; the LDIF "control:" line carries it
// into ldapmodify, so the records need no switch of their own.
constexpr std::string_view kShowDeletedOid = "1.2.840.113556.1.4.417";
constexpr std::string_view kControlLine = "control: 1.2.840.113556.1.4.417 true\n";

// The schema lets a user write these, but the directory keeps them itself: pwdLastSet takes
// only 0 or -1, the logon counters and times are the server's own, sAMAccountType follows
// from userAccountControl and isCriticalSystemObject is set by the system alone. Writing the
// archived values back would be refused and stop the records that follow.
constexpr std::string_view kKeptByTheDirectory[] = {
    "pwdlastset",      "lastlogon",      "lastlogontimestamp",
    "lastlogoff",      "logoncount",     "badpwdcount",
    "badpasswordtime", "samaccounttype", "iscriticalsystemobject"};

constexpr std::string_view kRevived =
    "To bring it back (within the tombstone lifetime): the deleted object is revived under its "
    "old DN, with the same objectGUID and objectSid";
constexpr std::string_view kRevivedStripped =
    ", then given back the attributes the delete stripped, then its children are added again, "
    "parents first:";
constexpr std::string_view kRevivedRecycled =
    "; the Recycle Bin kept its attributes and links, and its children are revived the same "
    "way, parents first:";
constexpr std::string_view kNoneKept =
    "Nothing in this file can bring it back: the directory kept no deleted object of it (none "
    "found by its objectGUID under the Show Deleted control after the delete). The archive "
    "below is what it held.";
constexpr std::string_view kChildNotFound =
    ": no deleted object of it was found; only the archive below keeps what it held";
constexpr std::string_view kNoClasses = ": its classes were not readable, so it cannot be added";
constexpr std::string_view kNothingWritable =
    ": the directory named no attribute this user may write, so its values are in the archive "
    "only";

/// The attribute type of the DN's first RDN, lower-case: "cn" for "CN=PC1,OU=...".
std::string rdnType(std::string_view dn) {
  const std::string rdn = splitDn(dn).first;
  return lowerCase(std::string_view(rdn).substr(0, rdn.find('=')));
}

/// A name that may stand in a record as it is: letters, digits and hyphens, a letter first.
/// Tagged or ranged names ("member;range=0-1499") and anything stranger stay in the archive.
bool plainName(std::string_view name) {
  if (name.empty() || !((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= 'A' && name[0] <= 'Z')))
    return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
  });
}

/// The lower-case names of the attributes the user may write on the object, as the
/// directory named them before the delete, less what it keeps for itself.
std::set<std::string> writableNames(const ldap::Entry& entry) {
  std::set<std::string> names;
  if (const ldap::Attribute* allowed = ldap::findAttribute(entry, kWritableAttributes)) {
    for (const std::string& value : allowed->values) names.insert(lowerCase(value));
  }
  for (std::string_view kept : kKeptByTheDirectory) names.erase(std::string(kept));
  // The object's name is set by the revival or the add itself.
  names.erase("distinguishedname");
  names.erase("name");
  return names;
}

std::vector<std::string> sortedValues(const ldap::Attribute& attribute) {
  std::vector<std::string> values = attribute.values;
  std::sort(values.begin(), values.end());
  return values;
}

std::string revival(const ldap::Entry& deleted, std::string_view originalDn) {
  std::string out = ldif::line("dn", deleted.dn);
  out += kControlLine;
  out += "changetype: modify\ndelete: isDeleted\n-\nreplace: distinguishedName\n";
  out += ldif::line("distinguishedName", originalDn);
  out += "-\n\n";
  return out;
}

/// A modify that writes back what the tombstone lost of the account's writable attributes;
/// empty when it lost nothing that can be written.
std::string strippedValues(const ldap::Entry& archived, const ldap::Entry& deleted) {
  const std::set<std::string> writable = writableNames(archived);
  const std::string rdn = rdnType(archived.dn);
  std::string changes;
  for (const ldap::Attribute& attribute : archived.attributes) {
    const std::string name = lowerCase(attribute.name);
    // The classes cannot change on a live object, and the RDN comes back with the DN.
    if (!plainName(attribute.name) || !writable.contains(name) || name == "objectclass" ||
        name == rdn || attribute.values.empty()) {
      continue;
    }
    const ldap::Attribute* kept = ldap::findAttribute(deleted, attribute.name);
    if (kept != nullptr && sortedValues(*kept) == sortedValues(attribute)) continue;
    changes += "replace: " + attribute.name + "\n";
    for (const std::string& value : attribute.values) changes += ldif::line(attribute.name, value);
    changes += "-\n";
  }
  if (changes.empty()) return changes;
  return ldif::line("dn", archived.dn) + "changetype: modify\n" + changes + "\n";
}

/// An add of the archived child with its classes and writable attributes; a comment when it
/// cannot be added.
std::string addedAgain(const ldap::Entry& child) {
  const ldap::Attribute* classes = ldap::findAttribute(child, "objectClass");
  if (classes == nullptr || classes->values.empty())
    return ldif::comment(child.dn + std::string(kNoClasses));
  const std::set<std::string> writable = writableNames(child);
  std::string out = ldif::line("dn", child.dn) + "changetype: add\n";
  for (const std::string& value : classes->values) out += ldif::line("objectClass", value);
  bool any = false;
  for (const ldap::Attribute& attribute : child.attributes) {
    const std::string name = lowerCase(attribute.name);
    if (!plainName(attribute.name) || !writable.contains(name) || name == "objectclass") continue;
    for (const std::string& value : attribute.values) out += ldif::line(attribute.name, value);
    any = true;
  }
  if (!any) return ldif::comment(child.dn + std::string(kNothingWritable));
  return out + "\n";
}

}  // namespace

std::string guidText(std::string_view bytes) {
  if (bytes.size() != 16) return {};
  static constexpr int kOrder[] = {3,  2, 1, 0,  -1, 5,  4,  -1, 7,  6,
                                   -1, 8, 9, -1, 10, 11, 12, 13, 14, 15};
  std::string out;
  for (int at : kOrder) {
    if (at < 0) {
      out += '-';
      continue;
    }
    out += formatText("%02x", static_cast<unsigned char>(bytes[static_cast<std::size_t>(at)]));
  }
  return out;
}

std::string archivedGuid(const std::vector<ldap::Entry>& archived) {
  if (archived.empty()) return {};
  const ldap::Attribute* guid = ldap::findAttribute(archived.front(), "objectGUID");
  return guid == nullptr || guid->values.empty() ? std::string() : guidText(guid->values.front());
}

std::optional<ldap::Entry> readDeletedObject(DirectorySession& session,
                                             std::string_view namingContext,
                                             std::string_view objectGuid) {
  if (objectGuid.size() != 16 || namingContext.empty()) return std::nullopt;
  ldap::SearchRequest request;
  request.base.assign(namingContext);
  request.scope = ldap::kScopeSubtree;
  request.filter = "(&(objectGUID=";
  for (char byte : objectGuid)
    request.filter += formatText("\\%02x", static_cast<unsigned char>(byte));
  request.filter += ")(isDeleted=TRUE))";
  request.attributes = {"*", "isDeleted"};
  request.serverControls.push_back({std::string(kShowDeletedOid), true, {}});
  std::vector<ldap::Entry> entries;
  int references = 0;
  if (session.connection->searchExt(request, entries, references) != 0 || entries.size() != 1) {
    return std::nullopt;
  }
  return entries.front();
}

std::string restoreRecords(const std::vector<ldap::Entry>& archived,
                           const std::vector<std::optional<ldap::Entry>>& deleted,
                           bool recycleBin) {
  if (archived.empty() || deleted.empty() || !deleted.front().has_value()) {
    return ldif::comment(kNoneKept);
  }
  const ldap::Entry& account = archived.front();
  std::string out =
      ldif::comment(std::string(kRevived).append(recycleBin ? kRevivedRecycled : kRevivedStripped));
  out += revival(*deleted.front(), account.dn);
  if (!recycleBin) out += strippedValues(account, *deleted.front());
  for (std::size_t i = 1; i < archived.size(); ++i) {
    if (!recycleBin) {
      out += addedAgain(archived[i]);
    } else if (i < deleted.size() && deleted[i].has_value()) {
      out += revival(*deleted[i], archived[i].dn);
    } else {
      out += ldif::comment(archived[i].dn + std::string(kChildNotFound));
    }
  }
  return out;
}

std::string readRestoreRecords(DirectorySession& session, std::string_view namingContext,
                               const std::vector<ldap::Entry>& archived, bool recycleBin) {
  std::vector<std::optional<ldap::Entry>> deleted;
  for (const ldap::Entry& entry : archived) {
    const ldap::Attribute* guid = ldap::findAttribute(entry, "objectGUID");
    const bool inContext = dnWithin(entry.dn, namingContext);
    deleted.push_back(guid == nullptr || guid->values.empty() || !inContext
                          ? std::nullopt
                          : readDeletedObject(session, namingContext, guid->values.front()));
    // Without the Recycle Bin the children are added again, so only the account is read.
    if (!recycleBin || !deleted.front().has_value()) break;
  }
  return restoreRecords(archived, deleted, recycleBin);
}

}  // namespace tavrel
