// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include "app/startup.h"
#include "common/interrupt.h"

namespace tavrel {

namespace {

// What a process ended by Ctrl+C gives its caller.
constexpr UINT kControlCExit = 0xC000013AU;

/// Ctrl+C, Ctrl+Break and a closed console ask the run to stop cleanly; a second request
/// ends the process at once. A closed console ends the process once this returns, so the
/// handler waits there (the system allows a few seconds) while the run finishes its files.
BOOL WINAPI onConsoleControl(DWORD event) {
  if (noteInterrupt()) ExitProcess(kControlCExit);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    Sleep(4000);
  }
  return TRUE;
}

}  // namespace

// Windows has no signal for a broken pipe: a failed write is an error result there already.
void prepareProcess() {
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

}  // namespace tavrel
