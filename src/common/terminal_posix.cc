#include <unistd.h>

#include "common/terminal.h"

namespace tavrel {

bool stdoutIsTerminal() {
  return isatty(STDOUT_FILENO) == 1;
}

}  // namespace tavrel
