#ifndef TAVREL_QUERY_FILTER_H_
#define TAVREL_QUERY_FILTER_H_

#include <string>

#include "cli/run_settings.h"
#include "query/int8.h"

namespace tavrel {

/// The run's age limits, all derived from one start time; read by the filter, the report
/// header and the stamp action.
struct AgeLimits {
  int ageDays = 90;
  int maxAgeDays = 0;
  Int8 startTime = 0;
  std::string startText;
  std::string startDate;
  std::string dateStamp;
  std::string oldAgeText;
  std::string oldAgeDate;
  std::string maxOldAgeText = "0";
  std::string maxOldAgeDate;
};

/// What option processing fixes about the filter before the directory is known.
struct FilterPieces {
  std::string classPiece;
  std::string addOn;
  std::string ageTerm;
  bool realAge = false;
  bool llts = false;
};

/// First half of phase 1: class piece and add-on from the selection switches, with the
/// "DEBUG: AddToFilter : " echo.
FilterPieces buildFilterSelection(const RunSettings& settings);

/// Second half of phase 1: the age limits from one start time, the age echo lines, and the
/// pwdLastSet age term.
AgeLimits buildAgeLimits(const RunSettings& settings, Int8 startTime, FilterPieces& pieces);

/// Phase 2, once the domain functional level is known: the final filter text as sent.
std::string buildFinalFilter(const FilterPieces& pieces, const AgeLimits& limits,
                             int domainFunctionality, const RunSettings& settings);

}  // namespace tavrel

#endif  // TAVREL_QUERY_FILTER_H_
