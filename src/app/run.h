// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_APP_RUN_H_
#define TAVREL_APP_RUN_H_

#include <string>
#include <vector>

namespace tavrel {

/// One whole run, from the raw arguments (argument 0 is the program name) to the exit code.
int runTavrel(const std::vector<std::string>& arguments);

}  // namespace tavrel

#endif  // TAVREL_APP_RUN_H_
