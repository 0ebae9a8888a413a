// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_QUERY_GROUP_EXCLUSION_H_
#define TAVREL_QUERY_GROUP_EXCLUSION_H_

#include <string>
#include <string_view>
#include <vector>

#include "directory/session.h"

namespace tavrel {

/// The filter terms that keep the members of each group, nested membership included, out of
/// the search: (!(memberOf:1.2.840.113556.1.4.1941:=DN)) for each, the DN escaped for a
/// filter value.
std::string excludedGroupTerms(const std::vector<std::string>& groups);

/// Whether every -exclgroup group exists as a group. A group that is not there would match
/// nothing and hold nobody back, so each one that cannot be found is named in an ERROR line
/// and the run must end.
bool excludedGroupsExist(DirectorySession& session, const std::vector<std::string>& groups);

/// A text as an RFC 4515 filter value: "*", "(", ")", "\" and NUL as "\xx".
std::string filterValue(std::string_view text);

}  // namespace tavrel

#endif  // TAVREL_QUERY_GROUP_EXCLUSION_H_
