// SPDX-License-Identifier: Apache-2.0
#include "cli/exclusion_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "cli/help_text.h"
#include "common/console.h"
#include "common/text.h"
#include "query/dn_key.h"

namespace tavrel {

namespace {

constexpr std::string_view kSwitch = "exclfile";
constexpr std::string_view kNoName = "\nERROR: No file name given for -exclfile.\n\n";
constexpr std::string_view kUnreadable = "\nERROR: Couldn't read the exclusion file ";
constexpr std::string_view kBadLinePrefix = "\nERROR: Line ";
constexpr std::string_view kBadLineMiddle = " of the exclusion file ";
constexpr std::string_view kBadLineSuffix = " is neither a DN nor an account name: ";

// Characters that the directory refuses in an account name.
constexpr std::string_view kNotInNames = "\"/\\[]:;|=,+*?<>";
constexpr std::size_t kLongestName = 256;

std::string_view trim(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n\f\v";
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool isTypeCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.';
}

}  // namespace

bool isAccountName(std::string_view line) {
  if (line.empty() || line.size() > kLongestName) return false;
  for (char c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || kNotInNames.find(c) != std::string_view::npos) {
      return false;
    }
  }
  return line != "$";
}

bool looksLikeDn(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size()) {
    // An RDN: blanks, an attribute type, blanks, "=", then the value up to a "," or "+"
    // that neither an escape nor quotes hide.
    while (i < line.size() && line[i] == ' ') ++i;
    const std::size_t typeStart = i;
    while (i < line.size() && isTypeCharacter(line[i])) ++i;
    if (i == typeStart) return false;
    while (i < line.size() && line[i] == ' ') ++i;
    if (i == line.size() || line[i] != '=') return false;
    bool quoted = false;
    for (++i; i < line.size(); ++i) {
      const char c = line[i];
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        quoted = !quoted;
      } else if (!quoted && (c == ',' || c == '+')) {
        break;
      }
    }
    if (quoted) return false;
    if (i < line.size()) {
      ++i;
      if (i == line.size()) return false;  // a separator with nothing after it
    }
  }
  return true;
}

PhaseResult readExclusionFileOption(const CommandLine& commandLine, RunSettings& settings) {
  if (!commandLine.hasSwitch(kSwitch)) return PhaseResult::proceed();
  const std::string name = commandLine.switchValue(kSwitch);
  const auto refuse = [](const std::string& message) {
    console::err(message);
    return PhaseResult::exit(printUsageHint());
  };
  if (name.empty()) return refuse(std::string(kNoName));
  std::ifstream file(name, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (!file.is_open() || file.bad()) return refuse(std::string(kUnreadable) + name + "\n\n");
  if (const int bad = parseExclusionText(text, settings.listedAccounts); bad != 0) {
    std::string_view rest = text;
    for (int i = 1; i < bad; ++i) rest.remove_prefix(rest.find('\n') + 1);
    const std::string line(trim(rest.substr(0, rest.find('\n'))));
    return refuse(std::string(kBadLinePrefix) + std::to_string(bad) + std::string(kBadLineMiddle) +
                  name + std::string(kBadLineSuffix) + line + "\n\n");
  }
  settings.exclusionFile = name;
  console::debugErr("DEBUG: Exclusion File: " + name + " (" +
                    std::to_string(settings.listedAccounts.dnKeys.size()) + " DNs, " +
                    std::to_string(settings.listedAccounts.names.size()) + " names)\n");
  return PhaseResult::proceed();
}

int parseExclusionText(std::string_view text, AccountList& list) {
  int number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = trim(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.empty() || line.front() == '#') continue;
    if (looksLikeDn(line)) {
      list.dnKeys.insert(dnKey(line));
    } else if (isAccountName(line)) {
      std::string name = lowerCase(line);
      if (name.back() == '$') name.pop_back();
      list.names.insert(std::move(name));
    } else {
      return number;
    }
  }
  return 0;
}

}  // namespace tavrel
