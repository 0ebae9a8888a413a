// SPDX-License-Identifier: Apache-2.0
#include "cli/slash_switch.h"

namespace tavrel {

bool slashArgumentIsSwitch(std::string_view) {
  return true;
}

}  // namespace tavrel
