// SPDX-License-Identifier: Apache-2.0
#include <io.h>
#include <stdio.h>
#include <windows.h>

#include "common/console.h"
#include "common/terminal.h"

namespace tavrel {

bool stdoutIsTerminal() {
  return _isatty(_fileno(stdout)) != 0;
}

// The console's own input rather than standard input, as for a person at the keyboard
// whatever the input was redirected from.
bool readHiddenLine(std::string_view prompt, SecretText& line) {
  HANDLE input =
      CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (input == INVALID_HANDLE_VALUE) {
    console::err(prompt);
    return false;
  }
  DWORD saved = 0;
  bool restore = GetConsoleMode(input, &saved) != 0;
  if (restore) SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  // Echo is off before the prompt shows, so nothing typed after it is shown.
  console::err(prompt);
  bool complete = false;
  char c = 0;
  DWORD got = 0;
  while (ReadFile(input, &c, 1, &got, nullptr) && got == 1) {
    if (c == '\r') continue;
    if (c == '\n') {
      complete = true;
      break;
    }
    line.append(c);
  }
  c = 0;
  if (restore) SetConsoleMode(input, saved);
  CloseHandle(input);
  return complete;
}

}  // namespace tavrel
