// SPDX-License-Identifier: Apache-2.0
#include "actions/server_guard.h"

namespace tavrel {

namespace {

constexpr std::string_view kHeldElsewhere = "SKIPPED: held by another server (";

}  // namespace

std::string heldElsewhereResult(const ObjectRecord& record) {
  if (!record.has(kHeldByKey)) return {};
  std::string result(kHeldElsewhere);
  result.append(record.get(kHeldByKey)).append(")");
  return result;
}

}  // namespace tavrel
