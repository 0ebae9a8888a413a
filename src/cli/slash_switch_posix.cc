// SPDX-License-Identifier: Apache-2.0
#include "cli/slash_switch.h"

namespace tavrel {

bool slashArgumentIsSwitch(std::string_view argument) {
  return argument.find('/', 1) == std::string_view::npos;
}

}  // namespace tavrel
