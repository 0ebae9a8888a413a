// SPDX-License-Identifier: Apache-2.0
// The man page and the bash completion ship beside the program and are written by hand: a
// switch added to the accepted list without them would be invisible to users.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "cli/options.h"

namespace tavrel {
namespace {

std::string readSourceFile(const std::string& relative) {
  std::ifstream in(std::string(TAVREL_SOURCE_DIR) + "/" + relative, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::set<std::string> acceptedNames() {
  std::set<std::string> names;
  for (const std::string& entry : acceptedSwitches()) {
    names.insert(entry.starts_with(":") ? entry.substr(1) : entry);
  }
  return names;
}

TEST(SwitchDocsTest, ManPageHasAnEntryForEverySwitch) {
  std::string page = readSourceFile("doc/tavrel.1");
  ASSERT_FALSE(page.empty());
  // The switches named in the heading line of each tagged paragraph (.TP).
  std::set<std::string> entries;
  const std::regex heading(R"(\.TP\n\.B[IR]? ([^\n]*))");
  const std::regex name(R"((?:^|[ "])\\-([a-z?]+))");
  for (std::sregex_iterator it(page.begin(), page.end(), heading), end; it != end; ++it) {
    const std::string line = (*it)[1];
    for (std::sregex_iterator n(line.begin(), line.end(), name); n != end; ++n) {
      entries.insert((*n)[1]);
    }
  }
  for (const std::string& accepted : acceptedNames()) {
    EXPECT_TRUE(entries.contains(accepted)) << "no man page entry for -" << accepted;
  }
}

TEST(SwitchDocsTest, CompletionOffersEverySwitch) {
  std::string script = readSourceFile("doc/tavrel.bash");
  std::smatch list;
  ASSERT_TRUE(std::regex_search(script, list, std::regex(R"(_tavrel_switches="([^"]*)\")")));
  std::set<std::string> offered;
  std::istringstream words(list[1].str());
  for (std::string word; words >> word;) offered.insert(word);
  EXPECT_TRUE(offered.contains("--help") && offered.contains("--version"));
  // "-?" stays out: bash would take it as a pattern.
  for (const std::string& accepted : acceptedNames()) {
    if (accepted == "?") continue;
    EXPECT_TRUE(offered.contains("-" + accepted)) << "not completed: -" << accepted;
  }
}

}  // namespace
}  // namespace tavrel
