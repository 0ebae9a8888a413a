// SPDX-License-Identifier: Apache-2.0
#include "actions/delete_archive.h"

#include <algorithm>
#include <string_view>

#include "actions/ldif.h"
#include "actions/reanimation.h"
#include "common/text.h"

namespace tavrel {

namespace {

constexpr std::string_view kRecoveryClass = "msfve-recoveryinformation";
constexpr std::string_view kRecoveryPassword = "msfve-recoverypassword";
constexpr std::string_view kDescriptor = "ntsecuritydescriptor";
constexpr std::string_view kArchiveTitle = "Archive of the subtree as read before the delete";
constexpr std::string_view kObjectsNote = " object(s), parents first:";
constexpr std::string_view kIndent = "#   ";
constexpr std::string_view kKeyNotArchived =
    "#   (msFVE-RecoveryPassword not readable: the key was not archived)\n";

bool isRecoveryObject(const ldap::Entry& entry) {
  for (const ldap::Attribute& attribute : entry.attributes) {
    if (lowerCase(attribute.name) != "objectclass") continue;
    return std::any_of(attribute.values.begin(), attribute.values.end(),
                       [](const std::string& value) { return lowerCase(value) == kRecoveryClass; });
  }
  return false;
}

bool hasPassword(const ldap::Entry& entry) {
  return std::any_of(entry.attributes.begin(), entry.attributes.end(),
                     [](const ldap::Attribute& attribute) {
                       return lowerCase(attribute.name) == kRecoveryPassword &&
                              !attribute.values.empty() && !attribute.values.front().empty();
                     });
}

// Attribute names come from the server: anything but the characters a name may hold is
// shown as '?', so that no name can end the comment line and start a record.
std::string safeName(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '-' || c == ';' || c == '.';
    if (!allowed) c = '?';
  }
  return out;
}

}  // namespace

ArchiveKeys recoveryKeys(const std::vector<ldap::Entry>& entries) {
  ArchiveKeys keys;
  for (const ldap::Entry& entry : entries) {
    if (!isRecoveryObject(entry)) continue;
    if (hasPassword(entry)) {
      ++keys.archived;
    } else {
      keys.unreadable.push_back(entry.dn);
    }
  }
  return keys;
}

std::string archiveText(const std::vector<ldap::Entry>& entries,
                        const std::vector<std::string>& keysNotArchived) {
  std::string out = ldif::comment(kArchiveTitle);
  out += ldif::comment(std::to_string(entries.size()) + std::string(kObjectsNote));
  for (const ldap::Entry& entry : entries) {
    out += "#\n";
    out += std::string(kIndent) + ldif::line("dn", entry.dn);
    for (const ldap::Attribute& attribute : entry.attributes) {
      if (lowerCase(attribute.name) == kDescriptor ||
          equalsIgnoringCase(attribute.name, kWritableAttributes)) {
        continue;
      }
      for (const std::string& value : attribute.values) {
        out += std::string(kIndent) + ldif::line(safeName(attribute.name), value);
      }
    }
    if (std::find(keysNotArchived.begin(), keysNotArchived.end(), entry.dn) !=
        keysNotArchived.end()) {
      out.append(kKeyNotArchived);
    }
  }
  return out;
}

}  // namespace tavrel
