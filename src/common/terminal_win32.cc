#include <io.h>
#include <stdio.h>

#include "common/terminal.h"

namespace tavrel {

bool stdoutIsTerminal() {
  return _isatty(_fileno(stdout)) != 0;
}

}  // namespace tavrel
