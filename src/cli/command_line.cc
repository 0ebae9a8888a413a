// SPDX-License-Identifier: Apache-2.0
#include "cli/command_line.h"

#include <set>

#include "cli/slash_switch.h"
#include "common/text.h"

namespace tavrel {

namespace {

// "-5" and "-30" are values (negative numbers); "-x", "/x", and a lone "-" or "/" are
// switches; on POSIX "/var/tmp/x.csv" is a value.
bool isSwitch(const std::string& argument) {
  if (argument.empty()) return false;
  if (argument[0] == '/') return slashArgumentIsSwitch(argument);
  if (argument[0] != '-') return false;
  return argument.size() < 2 || argument[1] < '0' || argument[1] > '9';
}

// Switches whose value may be a lone "-", standard input; anywhere else it is a switch.
/// A lone "-" is the value of the switches that name standard input or output ("-pwfile -",
/// "-file -"), and a switch everywhere else.
bool takesStandardInput(const std::string& pending, const std::string& argument) {
  return argument == "-" && (pending == "pwfile" || pending == "file");
}

}  // namespace

CommandLine::CommandLine(const std::vector<std::string>& arguments) : arguments_(arguments) {
  if (!arguments.empty()) programName_ = arguments[0];
  // The switch waiting for its value; a switch with an empty name never takes one.
  std::string pending;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (isSwitch(argument) && !takesStandardInput(pending, argument)) {
      pending = lowerCase(std::string_view(argument).substr(1));
      switches_[pending].clear();
    } else if (pending.empty()) {
      loose_.push_back(argument);
    } else {
      switches_[pending] = argument;
      pending.clear();
    }
  }
}

bool CommandLine::hasSwitch(std::string_view name) const {
  return switches_.count(lowerCase(name)) != 0;
}

std::string CommandLine::switchValue(std::string_view name) const {
  auto found = switches_.find(lowerCase(name));
  return found == switches_.end() ? std::string() : found->second;
}

int CommandLine::validateSwitches(const std::vector<std::string>& accepted) {
  std::set<std::string, std::less<>> known;
  for (const std::string& entry : accepted) {
    if (!entry.empty() && entry[0] == ':') {
      std::string flag = entry.substr(1);
      auto found = switches_.find(flag);
      if (found != switches_.end() && !found->second.empty()) {
        loose_.push_back(found->second);
        found->second.clear();
      }
      known.insert(flag);
    } else {
      known.insert(entry);
    }
  }
  unrecognised_.clear();
  for (const auto& [name, value] : switches_) {
    if (known.count(name) == 0) unrecognised_.push_back(name);
  }
  return static_cast<int>(unrecognised_.size());
}

}  // namespace tavrel
