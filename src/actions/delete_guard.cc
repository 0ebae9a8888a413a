// SPDX-License-Identifier: Apache-2.0
#include "actions/delete_guard.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "actions/reanimation.h"
#include "common/text.h"
#include "directory/security_descriptor.h"
#include "directory/session.h"

namespace tavrel {

namespace {

constexpr std::string_view kDescriptorAttribute = "nTSecurityDescriptor";
constexpr std::string_view kClassAttribute = "objectClass";
// The SD flags control asking for the DACL only (BER: SEQUENCE { INTEGER 4 }), which a user
// without the right to read the SACL or the owner may still be given.
constexpr std::string_view kSdFlagsOid = "1.2.840.113556.1.4.801";
constexpr char kDaclOnly[] = {0x30, 0x03, 0x02, 0x01, 0x04};

constexpr std::string_view kProtected = "PROTECTED: protected from accidental deletion";
constexpr std::string_view kChildPrefix = " (child ";
constexpr std::string_view kNotDeleted = ": not deleted";
constexpr std::string_view kNotMoved = ": not moved";
constexpr std::string_view kReadFailed = " reading the security descriptors";
constexpr std::string_view kSubtreeReadFailed = " reading the subtree";
constexpr std::string_view kReferred = "part of the subtree is held by another server";
constexpr std::string_view kNotReturned = "the account did not come back when read";
constexpr std::string_view kUnreadable = "security descriptor not readable";
constexpr std::string_view kNotUnderstood = "security descriptor not understood: ";

std::string childNote(const std::string& childDn) {
  return childDn.empty() ? std::string() : std::string(kChildPrefix) + childDn + ")";
}

SubtreeReading refused(SubtreeReading reading, SubtreeReading::Verdict verdict,
                       std::string_view why, const std::string& childDn, bool forDelete) {
  reading.verdict = verdict;
  reading.refusal.assign(why);
  if (verdict == SubtreeReading::Verdict::kUnknown) {
    reading.refusal.append(forDelete ? kNotDeleted : kNotMoved);
  }
  reading.refusal += childNote(childDn);
  return reading;
}

}  // namespace

SubtreeReading readSubtree(DirectorySession& session, std::string_view dn, bool forDelete,
                           bool checkProtection) {
  using Verdict = SubtreeReading::Verdict;
  ldap::SearchRequest request;
  request.base.assign(dn);
  // A move takes the subtree along, so a protected child keeps its parent where it is too.
  request.scope = ldap::kScopeSubtree;
  request.attributes = {std::string(kClassAttribute)};
  if (forDelete) {
    // What the archive keeps: everything the user may read, and the identifiers that the
    // directory keeps across a delete but "*" may leave out; and what the user may write,
    // so that the records that bring the subtree back hold only what can be written.
    request.attributes = {"*", "objectGUID", "objectSid", std::string(kWritableAttributes)};
  }
  if (checkProtection) {
    request.attributes.emplace_back(kDescriptorAttribute);
    request.serverControls.push_back(
        {std::string(kSdFlagsOid), false, std::string(kDaclOnly, sizeof kDaclOnly)});
  }
  std::vector<ldap::Entry> entries;
  int references = 0;
  const int rc = session.connection->searchExt(request, entries, references);

  SubtreeReading reading;
  if (rc != 0) {
    return refused(reading, Verdict::kUnknown,
                   formatText("(0x%-2X) %s", static_cast<unsigned>(rc), ldapErrorText(rc).c_str()) +
                       std::string(forDelete ? kSubtreeReadFailed : kReadFailed),
                   "", forDelete);
  }
  if (references > 0) return refused(reading, Verdict::kUnknown, kReferred, "", forDelete);

  // Everything below the account names more components than the account itself, so the
  // shortest name that came back is the account's, whatever spelling the server uses.
  std::size_t account = entries.size();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (account == entries.size() || entries[i].dn.size() < entries[account].dn.size()) {
      account = i;
    }
  }
  if (account == entries.size() && (checkProtection || forDelete)) {
    return refused(reading, Verdict::kUnknown, kNotReturned, "", forDelete);
  }

  for (std::size_t i = 0; i < entries.size(); ++i) {
    const ldap::Entry& entry = entries[i];
    const std::string childDn = i == account ? std::string() : entry.dn;
    if (i != account) {
      ++reading.children;
      const ldap::Attribute* classes = ldap::findAttribute(entry, kClassAttribute);
      const std::string name = classes != nullptr && !classes->values.empty()
                                   ? classes->values.back()
                                   : std::string("?");
      ++reading.childClasses[name];
    }
    if (!checkProtection) continue;
    const ldap::Attribute* descriptor = ldap::findAttribute(entry, kDescriptorAttribute);
    if (descriptor == nullptr || descriptor->values.size() != 1) {
      return refused(reading, Verdict::kUnknown, kUnreadable, childDn, forDelete);
    }
    const DeleteDenial denial = readDeleteDenial(descriptor->values.front());
    if (!denial.valid) {
      return refused(reading, Verdict::kUnknown, std::string(kNotUnderstood) + denial.problem,
                     childDn, forDelete);
    }
    if (denial.protectedFromDeletion()) {
      return refused(reading, Verdict::kProtected, kProtected, childDn, forDelete);
    }
  }
  if (forDelete) {
    // Parents first: a name below another is always the longer one.
    reading.entries = std::move(entries);
    std::stable_sort(
        reading.entries.begin(), reading.entries.end(),
        [](const ldap::Entry& a, const ldap::Entry& b) { return a.dn.size() < b.dn.size(); });
  }
  reading.verdict = Verdict::kClear;
  return reading;
}

bool keepsSecurityDescriptors(DirectorySession& session, std::string_view subschemaDn) {
  ldap::SearchRequest request;
  std::vector<ldap::Entry> entries;
  int references = 0;
  // Some servers name their schema only when asked for it by name.
  std::string named(subschemaDn);
  if (named.empty()) {
    request.attributes = {"subschemaSubentry"};
    if (session.connection->searchExt(request, entries, references) == 0 && entries.size() == 1) {
      if (const ldap::Attribute* found = ldap::findAttribute(entries.front(), "subschemaSubentry");
          found != nullptr && !found->values.empty()) {
        named = found->values.front();
      }
    }
  }
  request.base = named;
  request.filter = "(objectClass=subschema)";
  request.attributes = {"attributeTypes"};
  if (named.empty() || session.connection->searchExt(request, entries, references) != 0 ||
      entries.size() != 1) {
    return true;
  }
  const std::string wanted = "name '" + lowerCase(kDescriptorAttribute) + "'";
  for (const ldap::Attribute& attribute : entries.front().attributes) {
    for (const std::string& value : attribute.values) {
      if (lowerCase(value).find(wanted) != std::string::npos) return true;
    }
  }
  return false;
}

std::string childrenSummary(const SubtreeReading& reading) {
  if (reading.children == 0) return {};
  std::string text =
      formatText(" (%d %s: ", reading.children, reading.children == 1 ? "child" : "children");
  bool first = true;
  for (const auto& [name, count] : reading.childClasses) {
    if (!first) text += ", ";
    first = false;
    text += name + " " + std::to_string(count);
  }
  return text + ")";
}

}  // namespace tavrel
