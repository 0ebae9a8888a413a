// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_COMMON_ROW_MARKS_H_
#define TAVREL_COMMON_ROW_MARKS_H_

namespace tavrel {

/// Per-object flags that choose the row colour; all false when an object's processing begins.
struct RowMarks {
  bool disabled = false;
  bool domainController = false;
  bool modifyFailed = false;
  bool safetySkipped = false;
  /// Held back by a guard that protects new, cluster and single sign-on accounts.
  bool protectedAccount = false;
};

}  // namespace tavrel

#endif  // TAVREL_COMMON_ROW_MARKS_H_
