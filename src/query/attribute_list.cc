// SPDX-License-Identifier: Apache-2.0
#include "query/attribute_list.h"

#include <string_view>

#include "common/console.h"
#include "common/object_record.h"
#include "common/text.h"

namespace tavrel {

namespace {

constexpr std::string_view kComputerAttributes =
    "DN;cn;sAMAccountName;dNSHostName;pwdLastSet;pwage;whenCreated;accountExpires;"
    "operatingSystem;operatingSystemServicePack;operatingSystemVersion;userAccountControl";
constexpr std::string_view kUserAttributes =
    "DN;cn;displayName;sAMAccountName;pwdLastSet;pwage;whenCreated;accountExpires;"
    "userAccountControl";
constexpr std::string_view kLastLogonColumns = ";lastLogonTimestamp;lltsAge";

constexpr std::string_view kAttributesEcho = "DEBUG: Attributes: ";
constexpr std::string_view kListEchoHead = "DEBUG: Attrib List\nDEBUG: -----------\n";

void echoAttributes(const std::string& text) {
  console::debugErr(std::string(kAttributesEcho) + text + "\n");
}

/// The sort attributes, spelled as they are sent.
std::string_view sortAttributeOf(SortField field) {
  switch (field) {
    case SortField::kCn:
      return "sAMAccountName";
    case SortField::kAge:
      return "whenCreated";
    case SortField::kPwage:
      return "pwdLastSet";
    case SortField::kOs:
      return "operatingSystemVersion";
    case SortField::kLlts:
      return "lastLogonTimeStamp";
    case SortField::kNone:
      break;
  }
  return {};
}

}  // namespace

std::vector<std::string> splitAttributeText(std::string_view text) {
  std::vector<std::string> names;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t at = text.find(';', from);
    if (at == std::string_view::npos) at = text.size();
    names.emplace_back(text.substr(from, at - from));
    from = at + 1;
  }
  return names;
}

AttributeList buildAttributeList(const RunSettings& settings, const RootDseInfo& rootDse) {
  AttributeList list;
  list.text = settings.usersMode ? kUserAttributes : kComputerAttributes;
  if (rootDse.domainFunctionality >= kLastLogonLevel) {
    list.text += kLastLogonColumns;
    echoAttributes(list.text);
  }
  if (settings.addAttributes) {
    list.text += ";";
    list.text += *settings.addAttributes;
    echoAttributes(list.text);
  }
  // The bound server's own lastLogon; the other domain controllers are asked after the search.
  if (settings.lastLogon) {
    if (!list.text.ends_with(';')) list.text += ';';
    list.text += "lastLogon";
    echoAttributes(list.text);
  }
  list.names = splitAttributeText(list.text);
  // Only a run that can modify needs to tell cluster accounts apart.
  if (isModifying(settings.action) && requestedName(list, kPrincipalNameAttribute) == nullptr) {
    list.guardOnly.emplace_back(kPrincipalNameAttribute);
  }
  if (console::debug()) {
    std::string echo(kListEchoHead);
    for (const auto& name : list.names) echo += "DEBUG: " + name + "\n";
    console::err(echo);
  }
  return list;
}

const std::string* requestedName(const AttributeList& list, std::string_view serverName) {
  for (const std::string& name : list.names) {
    if (name == serverName) return &name;
  }
  for (const std::string& name : list.names) {
    if (equalsIgnoringCase(name, serverName)) return &name;
  }
  return nullptr;
}

SortSpec buildSortSpec(const RunSettings& settings, const RootDseInfo& rootDse) {
  SortSpec sort;
  sort.sortField = settings.sortField;
  sort.reverse = settings.reverseSort;
  if (settings.sortField != SortField::kLlts || rootDse.domainFunctionality >= kLastLogonLevel) {
    sort.sortAttribute = sortAttributeOf(settings.sortField);
  }
  sort.sendKey = !sort.sortAttribute.empty();
  // The dhtml page sorts in the browser; it only needs to know the initial column.
  if (settings.format == ReportFormat::kDhtml) sort.sendKey = false;
  return sort;
}

}  // namespace tavrel
