// SPDX-License-Identifier: Apache-2.0
#include "common/interrupt.h"

#include <atomic>

namespace tavrel {

namespace {

// Lock-free, so a signal handler may touch it.
std::atomic<bool> requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

bool interrupted() {
  return requested.load(std::memory_order_relaxed);
}

bool noteInterrupt() {
  return requested.exchange(true);
}

}  // namespace tavrel
