#ifndef TAVREL_QUERY_ATTRIBUTE_LIST_H_
#define TAVREL_QUERY_ATTRIBUTE_LIST_H_

#include <string>
#include <vector>

#include "cli/run_settings.h"
#include "directory/root_dse.h"

namespace tavrel {

/// The requested attributes, which are also the report columns in the same order.
struct AttributeList {
  std::string text;
  std::vector<std::string> names;
};

/// The optional server-side sort key; `sortAttribute` is also the dhtml initial sort field.
struct SortSpec {
  SortField sortField = SortField::kNone;
  bool reverse = false;
  std::string sortAttribute;
  bool sendKey = false;
};

AttributeList buildAttributeList(const RunSettings& settings, const RootDseInfo& rootDse);
SortSpec buildSortSpec(const RunSettings& settings, const RootDseInfo& rootDse);

}  // namespace tavrel

#endif  // TAVREL_QUERY_ATTRIBUTE_LIST_H_
