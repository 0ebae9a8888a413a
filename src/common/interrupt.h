// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_COMMON_INTERRUPT_H_
#define TAVREL_COMMON_INTERRUPT_H_

#include <string_view>

namespace tavrel {

/// Why a run that was asked to stop says so: "INCOMPLETE: interrupted. ..." and
/// "NOT ATTEMPTED: interrupted".
constexpr std::string_view kInterruptedReason = "interrupted";

/// Whether the user or the system asked the run to stop (SIGINT, SIGTERM, SIGHUP; Ctrl+C,
/// Ctrl+Break or a closed console on Windows). The search stops at its next page and the
/// actions before their next account, so the write in flight is answered and the report and
/// the journal are finished.
bool interrupted();

/// Notes the request; safe to call from a signal handler or a console control thread.
/// Returns whether one had been noted before.
bool noteInterrupt();

}  // namespace tavrel

#endif  // TAVREL_COMMON_INTERRUPT_H_
