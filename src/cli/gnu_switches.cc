#include "cli/gnu_switches.h"

#include <string_view>

#include "cli/help_text.h"
#include "common/console.h"
#include "common/exit_status.h"
#include "common/version.h"
#include "directory/library_versions.h"

namespace tavrel {

namespace {

constexpr std::string_view kHelpSwitch = "--help";
constexpr std::string_view kVersionSwitch = "--version";
constexpr std::string_view kProgramName = "tavrel ";

}  // namespace

std::string versionText() {
  std::string text(kProgramName);
  text += kVersionText;
  text += '\n';
  text += ldap::libraryVersionLines();
  return text;
}

std::optional<int> answerGnuSwitches(const std::vector<std::string>& arguments) {
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == kHelpSwitch) {
      console::out(usageText());
      return kExitSuccess;
    }
    if (arguments[i] == kVersionSwitch) {
      console::out(versionText());
      return kExitSuccess;
    }
  }
  return std::nullopt;
}

}  // namespace tavrel
