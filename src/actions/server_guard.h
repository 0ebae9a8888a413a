// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_ACTIONS_SERVER_GUARD_H_
#define TAVREL_ACTIONS_SERVER_GUARD_H_

#include <string>

#include "common/object_record.h"

namespace tavrel {

/// The RESULT of an account that a reference led to: "SKIPPED: held by another server
/// (<uri>)". The run writes over the session's own connection only, and another server's
/// account is neither judged nor written there; test runs say the same.
/// Empty for an account of the session's own server.
std::string heldElsewhereResult(const ObjectRecord& record);

}  // namespace tavrel

#endif  // TAVREL_ACTIONS_SERVER_GUARD_H_
