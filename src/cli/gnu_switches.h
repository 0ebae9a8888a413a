#ifndef TAVREL_CLI_GNU_SWITCHES_H_
#define TAVREL_CLI_GNU_SWITCHES_H_

#include <optional>
#include <string>
#include <vector>

namespace tavrel {

/// Answers --help (the usage text on standard output) and --version (the program's and its
/// libraries' versions), as users of GNU tools expect: before the banner and before any
/// other switch is looked at, ending with exit code 0. The first of the two that appears
/// wins. Returns the exit code when one was answered, none when the run goes on as usual.
/// Only these exact spellings count; every other argument keeps its meaning.
std::optional<int> answerGnuSwitches(const std::vector<std::string>& arguments);

/// The text --version writes.
std::string versionText();

}  // namespace tavrel

#endif  // TAVREL_CLI_GNU_SWITCHES_H_
