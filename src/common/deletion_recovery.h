// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_COMMON_DELETION_RECOVERY_H_
#define TAVREL_COMMON_DELETION_RECOVERY_H_

namespace tavrel {

/// What the directory's configuration says about taking a delete back: whether the Recycle
/// Bin keeps deleted objects whole, and how long a deleted object survives at all.
struct DeletionRecovery {
  bool known = false;  ///< false: the configuration partition could not be read
  bool recycleBin = false;
  int tombstoneDays = 0;
};

}  // namespace tavrel

#endif  // TAVREL_COMMON_DELETION_RECOVERY_H_
