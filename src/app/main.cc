#include <string>
#include <vector>

#include "app/run.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv, argv + argc);
  return tavrel::runTavrel(arguments);
}
