// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_DELETION_RECOVERY_READ_H_
#define TAVREL_DIRECTORY_DELETION_RECOVERY_READ_H_

#include <string_view>

#include "common/deletion_recovery.h"
#include "directory/session.h"

namespace tavrel {

/// The tombstone lifetime a forest has when its configuration sets none.
constexpr int kDefaultTombstoneDays = 60;

/// Reads the Recycle Bin state (msDS-EnabledFeature of the Partitions container) and the
/// tombstone lifetime (tombstoneLifetime of the Directory Service object) from the
/// configuration partition `configurationNc`. Not known when that is empty or either read
/// fails.
DeletionRecovery readDeletionRecovery(DirectorySession& session, std::string_view configurationNc);

}  // namespace tavrel

#endif  // TAVREL_DIRECTORY_DELETION_RECOVERY_READ_H_
