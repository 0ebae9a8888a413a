// SPDX-License-Identifier: Apache-2.0
#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace tavrel {
namespace {

std::vector<std::string> withProgram(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "tavrel");
  return arguments;
}

struct ParseCase {
  const char* name;
  std::vector<std::string> arguments;
  std::map<std::string, std::string> switches;  // expected name -> value
  std::vector<std::string> loose;
};

class ParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, SwitchesValuesAndLooseArguments) {
  const ParseCase& c = GetParam();
  CommandLine commandLine(withProgram(c.arguments));
  for (const auto& [name, value] : c.switches) {
    EXPECT_TRUE(commandLine.hasSwitch(name)) << name;
    EXPECT_EQ(commandLine.switchValue(name), value) << name;
  }
  EXPECT_EQ(commandLine.looseArguments(), c.loose);
  // Nothing beyond the expected switches: they are exactly what validation sees.
  CommandLine copy(withProgram(c.arguments));
  std::vector<std::string> accepted;
  for (const auto& [name, value] : c.switches) accepted.push_back(name);
  EXPECT_EQ(copy.validateSwitches(accepted), 0);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, ParseTest,
    ::testing::Values(
        ParseCase{"NoArguments", {}, {}, {}},
        ParseCase{"NegativeNumberIsAValue", {"-age", "-30"}, {{"age", "-30"}}, {}},
        ParseCase{"SlashArgumentIsASwitch", {"-file", "/x"}, {{"file", ""}, {"x", ""}}, {}},
        ParseCase{"UpperCaseName", {"-REPORT"}, {{"report", ""}}, {}},
        ParseCase{"SlashIntroducer", {"/Report"}, {{"report", ""}}, {}},
        ParseCase{"LastValueWins", {"-maxage", "30", "-maxage", "60"}, {{"maxage", "60"}}, {}},
        ParseCase{"RepeatWithoutValueEmpties", {"-age", "30", "-age"}, {{"age", ""}}, {}},
        ParseCase{"SecondValueIsLoose", {"-h", "a", "b"}, {{"h", "a"}}, {"b"}},
        ParseCase{"LooseBeforeAnySwitch", {"x", "-d"}, {{"d", ""}}, {"x"}},
        ParseCase{"ValuesKeptVerbatim", {"-af", " (A=B) "}, {{"af", " (A=B) "}}, {}},
        ParseCase{"DoubleDashIsDashName", {"--x", "1"}, {{"-x", "1"}}, {}},
        ParseCase{"LoneDashHasEmptyNameAndTakesNoValue", {"-", "v"}, {{"", ""}}, {"v"}},
        ParseCase{"LoneSlash", {"/"}, {{"", ""}}, {}},
        ParseCase{"LoneDashIsThePasswordFilesValueOnly",
                  {"-PwFile", "-", "-b", "-"},
                  {{"pwfile", "-"}, {"b", ""}, {"", ""}},
                  {}},
        ParseCase{"EmptyArgumentIsAValue", {"-b", ""}, {{"b", ""}}, {}},
        ParseCase{"EmptyArgumentAloneIsLoose", {""}, {}, {""}},
        ParseCase{"NonAsciiBytesKeptInName", {"-\xC3\x84X\xFF"}, {{"\xC3\x84x\xFF", ""}}, {}},
        ParseCase{"NonAsciiValue", {"-b", "ou=\xE4\xF6"}, {{"b", "ou=\xE4\xF6"}}, {}}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return info.param.name; });

TEST(CommandLineTest, QueriesLowerCaseTheName) {
  CommandLine commandLine(withProgram({"-nodc", "-RenameMask", "m"}));
  EXPECT_TRUE(commandLine.hasSwitch("NoDC"));
  EXPECT_EQ(commandLine.switchValue("RENAMEMASK"), "m");
  EXPECT_FALSE(commandLine.hasSwitch("renam"));
  EXPECT_EQ(commandLine.switchValue("absent"), "");
}

TEST(CommandLineTest, ValidationMovesFlagValuesAway) {
  CommandLine commandLine(withProgram({"-report", "foo", "-age", "30"}));
  EXPECT_EQ(commandLine.switchValue("report"), "foo");
  EXPECT_EQ(commandLine.validateSwitches({":report", "age"}), 0);
  EXPECT_TRUE(commandLine.hasSwitch("report"));
  EXPECT_EQ(commandLine.switchValue("report"), "");
  EXPECT_EQ(commandLine.switchValue("age"), "30");
  EXPECT_EQ(commandLine.looseArguments(), std::vector<std::string>{"foo"});
}

TEST(CommandLineTest, UnrecognisedNamesSortedOnceEach) {
  CommandLine commandLine(withProgram({"-bogus", "-zzz", "-abc", "-report", "-ZZZ", "-"}));
  EXPECT_EQ(commandLine.validateSwitches({":report"}), 4);
  EXPECT_EQ(commandLine.unrecognisedSwitches(),
            (std::vector<std::string>{"", "abc", "bogus", "zzz"}));
}

TEST(CommandLineTest, NamesCompareExactly) {
  // "rename" is not "renamemask", and the flag marker is not part of the name.
  CommandLine commandLine(withProgram({"-rename", "-:report"}));
  EXPECT_EQ(commandLine.validateSwitches({"renamemask", ":report"}), 2);
  EXPECT_EQ(commandLine.unrecognisedSwitches(), (std::vector<std::string>{":report", "rename"}));
}

TEST(CommandLineTest, HugeArgumentsSurvive) {
  const std::string huge(100000, 'A');
  CommandLine commandLine(withProgram({"-" + huge, "-b", huge, huge}));
  EXPECT_EQ(commandLine.switchValue("b"), huge);
  EXPECT_EQ(commandLine.validateSwitches({"b"}), 1);
  ASSERT_EQ(commandLine.unrecognisedSwitches().size(), 1u);
  EXPECT_EQ(commandLine.unrecognisedSwitches()[0], std::string(100000, 'a'));
  EXPECT_EQ(commandLine.looseArguments(), std::vector<std::string>{huge});
}

TEST(CommandLineTest, EmptyArgumentVector) {
  CommandLine commandLine(std::vector<std::string>{});
  EXPECT_EQ(commandLine.programName(), "");
  EXPECT_EQ(commandLine.validateSwitches({":report"}), 0);
}

}  // namespace
}  // namespace tavrel
