// SPDX-License-Identifier: Apache-2.0
#include <csignal>

#include "app/startup.h"
#include "common/interrupt.h"

namespace tavrel {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

/// The first signal asks the run to stop cleanly; a second one ends the process at once, as
/// the signal would have without a handler.
void onStopSignal(int signal) {
  if (noteInterrupt()) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
}

}  // namespace

void prepareProcess() {
  std::signal(SIGPIPE, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  // Calls under way go on: the write in flight gets its answer before the run stops.
  action.sa_flags = SA_RESTART;
  for (int signal : kStopSignals) sigaction(signal, &action, nullptr);
}

}  // namespace tavrel
