// SPDX-License-Identifier: Apache-2.0
#include <string>
#include <vector>

#include "app/run.h"
#include "app/startup.h"

int main(int argc, char** argv) {
  tavrel::prepareProcess();
  std::vector<std::string> arguments(argv, argv + argc);
  return tavrel::runTavrel(arguments);
}
