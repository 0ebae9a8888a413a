// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_QUERY_ATTRIBUTE_LIST_H_
#define TAVREL_QUERY_ATTRIBUTE_LIST_H_

#include <string>
#include <string_view>
#include <vector>

#include "common/root_dse_info.h"
#include "common/run_settings.h"

namespace tavrel {

/// The requested attributes, which are also the report columns in the same order.
struct AttributeList {
  std::string text;
  std::vector<std::string> names;
  /// Requested for the guards of a modifying run but shown in no column.
  std::vector<std::string> guardOnly;
};

/// The optional server-side sort key; `sortAttribute` is also the dhtml initial sort field.
struct SortSpec {
  SortField sortField = SortField::kNone;
  bool reverse = false;
  std::string sortAttribute;
  bool sendKey = false;
};

/// The computer or user columns, lastLogonTimestamp;lltsAge from domain functional level 2
/// on, then the -addattrib text verbatim; with the "DEBUG: " echo of each step.
AttributeList buildAttributeList(const RunSettings& settings, const RootDseInfo& rootDse);

/// The names of an attribute text split at ";": empty names between two ";" are kept, a
/// trailing ";" gives no empty last name.
std::vector<std::string> splitAttributeText(std::string_view text);

/// The requested spelling of an attribute name a server sent (attribute names compare without
/// regard to ASCII letter case), or null when the name was not requested.
const std::string* requestedName(const AttributeList& list, std::string_view serverName);

/// The sort attribute of the sort option (none for llts below level 2); dhtml never sends it.
SortSpec buildSortSpec(const RunSettings& settings, const RootDseInfo& rootDse);

}  // namespace tavrel

#endif  // TAVREL_QUERY_ATTRIBUTE_LIST_H_
