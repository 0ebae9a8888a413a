// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_QUERY_PAGED_SEARCH_H_
#define TAVREL_QUERY_PAGED_SEARCH_H_

#include <functional>
#include <string>

#include "common/object_record.h"
#include "common/root_dse_info.h"
#include "common/run_settings.h"
#include "directory/session.h"
#include "query/attribute_list.h"
#include "query/int8.h"

namespace tavrel {

struct SearchOutcome {
  ObjectStore objects;
  /// False when the search failed or was cut short: `objects` holds only what arrived, and
  /// `incompleteReason` says why in words fit for the report and the console.
  bool complete = true;
  std::string incompleteReason;
  Int8 finishTime = 0;
  std::string finishText;
  std::string finishDate;
  /// Accounts that the -exclfile list kept out of the run.
  int heldBackByList = 0;
};

/// Takes each record the search keeps, as soon as its page has arrived, in arrival order. The
/// record is the search's own, reused for the next entry: a sink copies what it keeps.
using RecordSink = std::function<void(ObjectRecord& record)>;

/// The run's single paged search. Never ends the run: failures leave fewer objects.
/// `base` is the run's search base: -b, or the default naming context without it. Without a
/// `sink` the kept records are collected in the outcome's `objects`.
SearchOutcome runPagedSearch(DirectorySession& session, const RunSettings& settings,
                             const RootDseInfo& rootDse, const std::string& base,
                             const std::string& filter, const AttributeList& attributes,
                             const SortSpec& sort, const RecordSink& sink = {});

struct ObjectAges {
  std::string pwage;
  std::string lltsAge;
};

/// The password and last-logon ages of one object against the finish time.
ObjectAges objectAges(const ObjectRecord& record, Int8 finishTime);

}  // namespace tavrel

#endif  // TAVREL_QUERY_PAGED_SEARCH_H_
