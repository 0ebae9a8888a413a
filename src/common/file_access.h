// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_COMMON_FILE_ACCESS_H_
#define TAVREL_COMMON_FILE_ACCESS_H_

#include <string>

namespace tavrel {

/// Whether users other than the file's owner may read the file at `path` (group or world
/// read permission). False when the file cannot be examined or the platform keeps no such
/// bits.
bool othersMayRead(const std::string& path);

}  // namespace tavrel

#endif  // TAVREL_COMMON_FILE_ACCESS_H_
