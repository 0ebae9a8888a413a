// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_ACTIONS_ACCOUNT_GUARDS_H_
#define TAVREL_ACTIONS_ACCOUNT_GUARDS_H_

#include <optional>
#include <string>
#include <string_view>

#include "common/int8_value.h"
#include "common/object_record.h"
#include "common/run_settings.h"

namespace tavrel {

/// Why an account that matched the filter must still not be modified: it is too new to be
/// judged by its ages, or a cluster or single sign-on account whose password and logons do
/// not say whether it is used. Returns the RESULT text, or empty text when nothing holds the
/// account back. `startText` is the run's start time as Int8 decimal text.
std::string protectedAccountResult(const RunSettings& settings, std::string_view startText,
                                   const ObjectRecord& record);

/// Whether a guard will hold back any account of the run before the safety limit is used up,
/// so that the report can explain the colour before the first row.
bool anyProtectedAccount(const RunSettings& settings, std::string_view startText,
                         const ObjectStore& objects);

/// A service principal name that only a cluster's own name objects carry.
bool isClusterPrincipalName(std::string_view name);

/// The Int8 instant of a directory GeneralizedTime value ("20261210112103.0Z", also with a
/// "+hhmm"/"-hhmm" offset or without fraction); none when the text is not one.
std::optional<Int8> parseGeneralizedTime(std::string_view text);

}  // namespace tavrel

#endif  // TAVREL_ACTIONS_ACCOUNT_GUARDS_H_
