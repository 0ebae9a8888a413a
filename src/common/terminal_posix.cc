// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "common/console.h"
#include "common/terminal.h"

namespace tavrel {

bool stdoutIsTerminal() {
  return isatty(STDOUT_FILENO) == 1;
}

// The controlling terminal rather than standard input: a password typed by a person comes
// from the terminal even when the input is redirected.
bool readHiddenLine(std::string_view prompt, SecretText& line) {
  int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    console::err(prompt);
    return false;
  }
  termios saved{};
  bool restore = tcgetattr(fd, &saved) == 0;
  if (restore) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    // Flushed now, before the prompt: what was typed ahead is not taken for the password,
    // and what is typed once the prompt shows is kept.
    tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  console::err(prompt);
  bool complete = false;
  char c = 0;
  while (read(fd, &c, 1) == 1) {
    if (c == '\n' || c == '\r') {
      complete = true;
      break;
    }
    line.append(c);
  }
  c = 0;
  if (restore) tcsetattr(fd, TCSANOW, &saved);
  close(fd);
  return complete;
}

}  // namespace tavrel
