#ifndef TAVREL_QUERY_PAGED_SEARCH_H_
#define TAVREL_QUERY_PAGED_SEARCH_H_

#include <string>

#include "cli/run_settings.h"
#include "directory/root_dse.h"
#include "directory/session.h"
#include "query/attribute_list.h"
#include "query/int8.h"
#include "query/object_record.h"

namespace tavrel {

struct SearchOutcome {
  ObjectStore objects;
  Int8 finishTime = 0;
  std::string finishText;
  std::string finishDate;
};

/// The run's single paged search. Never ends the run: failures leave fewer objects.
SearchOutcome runPagedSearch(DirectorySession& session, const RunSettings& settings,
                             const RootDseInfo& rootDse, const std::string& filter,
                             const AttributeList& attributes, const SortSpec& sort);

struct ObjectAges {
  std::string pwage;
  std::string lltsAge;
};

/// The password and last-logon ages of one object against the finish time.
ObjectAges objectAges(const ObjectRecord& record, Int8 finishTime);

}  // namespace tavrel

#endif  // TAVREL_QUERY_PAGED_SEARCH_H_
