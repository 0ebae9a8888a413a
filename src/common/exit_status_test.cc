// SPDX-License-Identifier: Apache-2.0
#include "common/exit_status.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

TEST(FinishedRunStatusTest, IncompleteSearchWinsOverFailedWritesGuardsDoNotCount) {
  UpdateCounters guarded;  // test mode, safety limit, DCs, already disabled, NOT DISABLED
  guarded.totalUpdates = 9;
  guarded.updatesOk = 1;
  guarded.updatesSkipped = 5;
  guarded.updatesSafetySkipped = 3;
  UpdateCounters failed = guarded;
  failed.updatesError = 1;
  UpdateCounters unknown = guarded;
  unknown.updatesUnknown = 1;
  UpdateCounters notAttempted = guarded;
  notAttempted.updatesNotAttempted = 2;

  EXPECT_EQ(finishedRunStatus(true, {}), 0);
  EXPECT_EQ(finishedRunStatus(true, guarded), 0);
  EXPECT_EQ(finishedRunStatus(true, failed), 3);
  EXPECT_EQ(finishedRunStatus(true, unknown), 3);
  EXPECT_EQ(finishedRunStatus(true, notAttempted), 3);
  EXPECT_EQ(finishedRunStatus(false, guarded), 2);
  EXPECT_EQ(finishedRunStatus(false, failed), 2);

  // A lost journal counts as a failed write; a lost report only when nothing worse happened.
  EXPECT_EQ(finishedRunStatus(true, guarded, false, true), 3);
  EXPECT_EQ(finishedRunStatus(true, guarded, true, false), 1);
  EXPECT_EQ(finishedRunStatus(true, failed, true, false), 3);
  EXPECT_EQ(finishedRunStatus(false, guarded, true, false), 2);
}

}  // namespace
}  // namespace tavrel
