// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_CLI_COMMAND_LINE_H_
#define TAVREL_CLI_COMMAND_LINE_H_

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

/// The process arguments as named switches with at most one value each. Knows nothing about
/// what a switch means; the option rules read it through `hasSwitch` and `switchValue`.
/// A class because validation moves values between the switch map and the loose arguments,
/// and the unrecognised list is only meaningful after it.
class CommandLine {
 public:
  /// Parses at once; argument 0 is the program name. Never fails: any argument list,
  /// however long or odd, becomes some set of switches.
  explicit CommandLine(const std::vector<std::string>& arguments);

  /// Whether the switch appeared, with or without a value. `name` is lower-cased first, so
  /// "NoDC" finds a switch typed as -nodc or /NODC.
  bool hasSwitch(std::string_view name) const;

  /// The switch's value; empty when absent or given without a value.
  std::string switchValue(std::string_view name) const;

  /// Checks the given switches against `accepted` (flags marked with a leading ':'): values
  /// that followed flags move to the loose arguments, and every name not in the list is
  /// recorded. Returns the number of unrecognised switches; 0 means acceptable.
  int validateSwitches(const std::vector<std::string>& accepted);

  /// Unrecognised switch names in ascending byte order, as filled by `validateSwitches`.
  const std::vector<std::string>& unrecognisedSwitches() const { return unrecognised_; }

  /// Arguments that belong to no switch; the program never reads them.
  const std::vector<std::string>& looseArguments() const { return loose_; }

  const std::string& programName() const { return programName_; }

  /// Every argument as given, program name included.
  const std::vector<std::string>& arguments() const { return arguments_; }

 private:
  std::vector<std::string> arguments_;
  std::string programName_;
  // std::string orders by unsigned byte value, which is the order the error list needs.
  std::map<std::string, std::string> switches_;
  std::vector<std::string> loose_;
  std::vector<std::string> unrecognised_;
};

}  // namespace tavrel

#endif  // TAVREL_CLI_COMMAND_LINE_H_
