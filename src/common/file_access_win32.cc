// SPDX-License-Identifier: Apache-2.0
#include "common/file_access.h"

namespace tavrel {

// Who may read a file on Windows is said by its access control list, which the folder it
// was created in usually decides; the program does not judge those lists.
bool othersMayRead(const std::string& /*path*/) {
  return false;
}

}  // namespace tavrel
