#include <csignal>

#include "app/startup.h"

namespace tavrel {

void prepareProcess() {
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace tavrel
