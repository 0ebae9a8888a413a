// SPDX-License-Identifier: Apache-2.0
#include "cli/gnu_switches.h"

#include <string_view>

namespace tavrel {

namespace {

constexpr std::string_view kHelpSwitch = "--help";
constexpr std::string_view kVersionSwitch = "--version";

}  // namespace

GnuSwitch findGnuSwitch(const std::vector<std::string>& arguments) {
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == kHelpSwitch) return GnuSwitch::kHelp;
    if (arguments[i] == kVersionSwitch) return GnuSwitch::kVersion;
  }
  return GnuSwitch::kNone;
}

}  // namespace tavrel
