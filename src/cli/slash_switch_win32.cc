#include "cli/slash_switch.h"

namespace tavrel {

bool slashArgumentIsSwitch(std::string_view) {
  return true;
}

}  // namespace tavrel
