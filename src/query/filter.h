// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_QUERY_FILTER_H_
#define TAVREL_QUERY_FILTER_H_

#include <cstddef>
#include <string>

#include "common/age_limits.h"
#include "common/run_settings.h"
#include "query/int8.h"

namespace tavrel {

/// What option processing fixes about the filter before the directory is known.
struct FilterPieces {
  std::string classPiece;
  std::string addOn;
  std::string ageTerm;
  /// Where the -disabledfor terms go into `addOn` once the start time is known: after the
  /// other add-on terms, before the -af text.
  std::size_t disabledForAt = 0;
  bool realAge = false;
  bool llts = false;
};

/// First half of phase 1: class piece and add-on from the selection switches, with the
/// "DEBUG: AddToFilter : " echo.
FilterPieces buildFilterSelection(const RunSettings& settings);

/// -bothages on a domain below functional level 2, which keeps no lastLogonTimestamp: says so
/// and returns true; the run then ends.
bool refuseBothAges(const RunSettings& settings, int domainFunctionality);

/// Second half of phase 1: the age limits from one start time, the age echo lines, the
/// pwdLastSet age term, and the -disabledfor terms (which need the start time, so the
/// "AddToFilter" echo of the first half does not show them).
AgeLimits buildAgeLimits(const RunSettings& settings, Int8 startTime, FilterPieces& pieces);

/// Phase 2, once the domain functional level is known: the final filter text as sent.
std::string buildFinalFilter(const FilterPieces& pieces, const AgeLimits& limits,
                             int domainFunctionality, const RunSettings& settings);

}  // namespace tavrel

#endif  // TAVREL_QUERY_FILTER_H_
