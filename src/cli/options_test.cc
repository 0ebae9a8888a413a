// SPDX-License-Identifier: Apache-2.0
#include "cli/options.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "common/console.h"

namespace tavrel {
namespace {

// 2004-12-29 01:09:22 UTC.
constexpr Int8 kStart = 127487561620000000;
Int8 fixedStart() {
  return kStart;
}

constexpr const char* kHint = "Type tavrel /help or tavrel /? for usage assistance.\n\n";

struct Outcome {
  PhaseResult result;
  RunSettings settings;
  FilterPieces pieces;
  AgeLimits limits;
  std::string out;
  std::string err;
};

// The checking phases as the run calls them.
Outcome evaluate(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "tavrel");
  console::Capture capture;
  CommandLine commandLine(arguments);
  console::setFlags(commandLine.hasSwitch("q"), commandLine.hasSwitch("d"));
  Outcome outcome;
  outcome.result = checkSwitches(commandLine);
  if (!outcome.result.stop) {
    outcome.result =
        evaluateOptions(commandLine, outcome.settings, outcome.pieces, outcome.limits, fixedStart);
  }
  outcome.out = capture.out();
  outcome.err = capture.err();
  return outcome;
}

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

struct RefusalCase {
  const char* name;
  std::vector<std::string> arguments;
  std::string err;
  int exitCode;
};

class RefusalTest : public OptionsTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, MessageAndExitCode) {
  const RefusalCase& c = GetParam();
  Outcome outcome = evaluate(c.arguments);
  EXPECT_TRUE(outcome.result.stop);
  EXPECT_EQ(outcome.result.exitCode, c.exitCode);
  EXPECT_EQ(outcome.err, c.err);
  EXPECT_EQ(outcome.out, "");
}

const std::string kNoAction =
    "ERROR: No action options specified.\nERROR: Please specify one of the following:\n"
    "ERROR:      /report\nERROR:      /disable\nERROR:      /delete\n\n\n" +
    std::string(kHint);
const std::string kOneAction = "ERROR: Only one action can be specified.\n\n" + std::string(kHint);
const std::string kBadScope = "\nERROR: Invalid Base, use subtree or one\n";
const std::string kBadSort = "\nERROR: Invalid Report Sort Field.\n\n" + std::string(kHint);
const std::string kBadFormat = "\nERROR: Invalid Report Type.\n\n" + std::string(kHint);
const std::string kBadDelim = "\nERROR: Invalid Delimiter.\n\n" + std::string(kHint);
const std::string kNoParent =
    "\nERROR: No /newparent option specified for MOVE.\n\n" + std::string(kHint);
const std::string kBadSafety = "\nERROR: Invalid safety value.\n\n" + std::string(kHint);
const std::string kBadDisabledFor = "\nERROR: Invalid disabled-for value.\n\n" + std::string(kHint);

INSTANTIATE_TEST_SUITE_P(
    Options, RefusalTest,
    ::testing::Values(
        RefusalCase{
            "Unrecognised",
            {"-report", "-bogus", "-zzz", "-abc"},
            "ERROR: Bad Command Line Arg(s)\nERROR:  abc\nERROR:  bogus\nERROR:  zzz\n\n\n" +
                std::string(kHint),
            1},
        RefusalCase{"UnrecognisedBeatsHelp",
                    {"-help", "-x"},
                    "ERROR: Bad Command Line Arg(s)\nERROR:  x\n\n\n" + std::string(kHint),
                    1},
        RefusalCase{"LoneDash",
                    {"-report", "-"},
                    "ERROR: Bad Command Line Arg(s)\nERROR:  \n\n\n" + std::string(kHint),
                    1},
        RefusalCase{"Rename",
                    {"-report", "-rename"},
                    "ERROR: Bad Command Line Arg(s)\nERROR:  rename\n\n\n" + std::string(kHint),
                    1},
        RefusalCase{"NoArguments", {}, kNoAction, 1},
        RefusalCase{"StampIsNoAction", {"-stamp"}, kNoAction, 1},
        RefusalCase{"DeleteAndDisable", {"-delete", "-disable"}, kOneAction, 1},
        RefusalCase{"DisableAndMove", {"-disable", "-move", "-newparent", "ou=x"}, kOneAction, 1},
        RefusalCase{"ScopeBase", {"-report", "-s", "base"}, kBadScope, -1},
        RefusalCase{
            "ScopeWinsOverLaterChecks", {"-report", "-s", "base", "-age", "x"}, kBadScope, -1},
        RefusalCase{"AgeLetters",
                    {"-report", "-age", "abc"},
                    "\nERROR: Possible bad age parameter (abc - 0)\n",
                    -1},
        RefusalCase{"AgeWithoutValue",
                    {"-report", "-age"},
                    "\nERROR: Possible bad age parameter ( - 0)\n",
                    -1},
        RefusalCase{"AgePercentKeptAsTyped",
                    {"-report", "-age", "%s%n"},
                    "\nERROR: Possible bad age parameter (%s%n - 0)\n",
                    -1},
        RefusalCase{"MaxAgeZero",
                    {"-report", "-maxage", "0"},
                    "\nERROR: Possible bad max age parameter (0 - 0)\n",
                    -1},
        RefusalCase{"MaxAgeZeroText",
                    {"-report", "-maxage", "x0"},
                    "\nERROR: Possible bad max age parameter (x0 - 0)\n",
                    -1},
        RefusalCase{"SortUnknown", {"-report", "-sort", "x"}, kBadSort, 1},
        RefusalCase{"SortBeatsFormat", {"-report", "-rsort", "x", "-format", "bad"}, kBadSort, 1},
        RefusalCase{"FormatXhtml", {"-report", "-format", "xhtml"}, kBadFormat, 1},
        RefusalCase{"DelimiterMissing", {"-report", "-delim"}, kBadDelim, 1},
        RefusalCase{"DelimiterTwoCharacters", {"-report", "-delim", "ab"}, kBadDelim, 1},
        RefusalCase{"MoveWithoutParent", {"-move"}, kNoParent, 1},
        RefusalCase{"MoveWithEmptyParent", {"-move", "-newparent"}, kNoParent, 1},
        RefusalCase{"SafetyZero", {"-report", "-safety", "0"}, kBadSafety, 1},
        RefusalCase{"SafetyLetters", {"-report", "-safety", "many"}, kBadSafety, 1},
        // Refused where the filter switches are read, before the age and report checks.
        RefusalCase{
            "DisabledForZero", {"-delete", "-disabledfor", "0", "-age", "x"}, kBadDisabledFor, 1},
        RefusalCase{"DisabledForNegative", {"-delete", "-disabledfor", "-1"}, kBadDisabledFor, 1},
        RefusalCase{"DisabledForLetters", {"-delete", "-disabledfor", "x"}, kBadDisabledFor, 1},
        RefusalCase{"DisabledForMissing", {"-delete", "-disabledfor"}, kBadDisabledFor, 1},
        RefusalCase{"UndoAndNoUndo",
                    {"-disable", "-undo", "u.ldif", "-noundo"},
                    "\nERROR: -undo and -noundo cannot be used together.\n\n" + std::string(kHint),
                    1},
        RefusalCase{"UndoWithoutName",
                    {"-disable", "-undo"},
                    "\nERROR: -undo needs a value.\n\n" + std::string(kHint),
                    1},
        RefusalCase{
            "UndoIsTheReport",
            {"-disable", "-forreal", "-file", "r.csv", "-undo", "r.csv"},
            "\nERROR: The undo file and the report file must differ.\n\n" + std::string(kHint),
            1},
        RefusalCase{"PasswordFileWithoutUser",
                    {"-report", "-pwfile", "-"},
                    "\nERROR: -pwfile needs -user.\n\n" + std::string(kHint),
                    1},
        RefusalCase{"UserWithoutName",
                    {"-report", "-user"},
                    "\nERROR: No account name given for -user.\n\n" + std::string(kHint),
                    1},
        RefusalCase{"PasswordFileWithoutName",
                    {"-report", "-user", "a", "-pwfile"},
                    "\nERROR: No file name given for -pwfile.\n\n" + std::string(kHint),
                    1}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST_F(OptionsTest, HelpWinsOverTheActionChecks) {
  for (const char* help : {"-help", "-?", "/help", "/?", "-HELP"}) {
    Outcome outcome = evaluate({help, "-delete", "-disable"});
    EXPECT_TRUE(outcome.result.stop) << help;
    EXPECT_EQ(outcome.result.exitCode, 1) << help;
    EXPECT_TRUE(outcome.err.starts_with("Usage:\n Tavrel [switches]\n")) << help;
    EXPECT_EQ(outcome.err.find("ERROR"), std::string::npos) << help;
  }
}

struct AcceptCase {
  const char* name;
  std::vector<std::string> arguments;
  std::function<void(const RunSettings&)> check;
};

class AcceptTest : public OptionsTest, public ::testing::WithParamInterface<AcceptCase> {};

TEST_P(AcceptTest, Settings) {
  const AcceptCase& c = GetParam();
  Outcome outcome = evaluate(c.arguments);
  ASSERT_FALSE(outcome.result.stop) << outcome.err;
  c.check(outcome.settings);
}

INSTANTIATE_TEST_SUITE_P(
    Options, AcceptTest,
    ::
        testing::
            Values(
                AcceptCase{"ReportAlone",
                           {"-report"},
                           [](const RunSettings& s) {
                             EXPECT_EQ(s.action, ActionKind::kReport);
                             EXPECT_EQ(s.format, ReportFormat::kHtml);
                             EXPECT_EQ(s.ageDays, 90);
                             EXPECT_EQ(s.maxAgeDays, 0);
                             EXPECT_EQ(s.safetyLimit, 10);
                             EXPECT_EQ(s.scope, "subtree");
                             EXPECT_EQ(s.reportFile, "tavrel.20041229-010922.htm");
                             EXPECT_FALSE(s.forReal);
                             EXPECT_TRUE(s.chaseReferrals);
                             EXPECT_FALSE(s.filterText.has_value());
                             EXPECT_FALSE(s.addOnFilterText.has_value());
                           }},
                AcceptCase{"FormatCsv",
                           {"-report", "-format", "csv"},
                           [](const RunSettings& s) {
                             EXPECT_EQ(s.format, ReportFormat::kCsv);
                             EXPECT_EQ(s.reportFile, "tavrel.20041229-010922.csv.txt");
                           }},
                AcceptCase{"CsvTab",
                           {"-report", "-format", "csv", "-delim", "tab"},
                           [](const RunSettings& s) {
                             EXPECT_EQ(s.csvDelimiter, "\t");
                             EXPECT_EQ(s.fileExtension, "csv.tab");
                           }},
                AcceptCase{"TabAnyCase",
                           {"-report", "-delim", "xTABx"},
                           [](const RunSettings& s) { EXPECT_EQ(s.csvDelimiter, "\t"); }},
                AcceptCase{"CommaDelimiterWithHtml",
                           {"-report", "-delim", ","},
                           [](const RunSettings& s) {
                             EXPECT_EQ(s.format, ReportFormat::kHtml);
                             EXPECT_EQ(s.csvDelimiter, ",");
                             EXPECT_EQ(s.reportFile, "tavrel.20041229-010922.csv");
                           }},
                AcceptCase{"FormatUpperCase",
                           {"-report", "-format", "HTML"},
                           [](const RunSettings& s) { EXPECT_EQ(s.format, ReportFormat::kHtml); }},
                AcceptCase{"FormatEmptyIsHtml",
                           {"-report", "-format"},
                           [](const RunSettings& s) { EXPECT_EQ(s.format, ReportFormat::kHtml); }},
                AcceptCase{"FormatLaterTestWins",
                           {"-report", "-format", "htmlcsv"},
                           [](const RunSettings& s) { EXPECT_EQ(s.format, ReportFormat::kCsv); }},
                AcceptCase{"FormatDhtml",
                           {"-report", "-format", "dhtml"},
                           [](const RunSettings& s) {
                             EXPECT_EQ(s.format, ReportFormat::kDhtml);
                             EXPECT_EQ(s.fileExtension, "html");
                           }},
                AcceptCase{"FormatNone",
                           {"-report", "-format", "none"},
                           [](const RunSettings& s) {
                             EXPECT_EQ(s.format, ReportFormat::kNone);
                             EXPECT_EQ(s.fileExtension, "txt");
                           }},
                AcceptCase{"SortPwage",
                           {"-report", "-sort", "pwage"},
                           [](const RunSettings& s) {
                             EXPECT_EQ(s.sortField, SortField::kPwage);
                             EXPECT_FALSE(s.reverseSort);
                           }},
                AcceptCase{"SortLltsUpper",
                           {"-report", "-sort", "LLTS"},
                           [](const RunSettings& s) { EXPECT_EQ(s.sortField, SortField::kLlts); }},
                AcceptCase{"SortAgeAndOs",
                           {"-report", "-rsort", "age"},
                           [](const RunSettings& s) {
                             EXPECT_EQ(s.sortField, SortField::kAge);
                             EXPECT_TRUE(s.reverseSort);
                           }},
                AcceptCase{"SortFromSortReversedByRsort",
                           {"-report", "-sort", "cn", "-rsort", "os"},
                           [](const RunSettings& s) {
                             EXPECT_EQ(s.sortField, SortField::kCn);
                             EXPECT_TRUE(s.reverseSort);
                           }},
                AcceptCase{"ScopeOneLevel",
                           {"-report", "-s", "OneLevel"},
                           [](const RunSettings& s) { EXPECT_EQ(s.scope, "onelevel"); }},
                AcceptCase{"ScopeWithoutValue",
                           {"-report", "-s"},
                           [](const RunSettings& s) { EXPECT_EQ(s.scope, "subtree"); }},
                AcceptCase{"AgeZero",
                           {"-report", "-age", "0"},
                           [](const RunSettings& s) { EXPECT_EQ(s.ageDays, 0); }},
                AcceptCase{"AgeNegative",
                           {"-report", "-age", "-30"},
                           [](const RunSettings& s) { EXPECT_EQ(s.ageDays, -30); }},
                AcceptCase{"AgeHugeSaturates",
                           {"-report", "-age", "99999999999999999999"},
                           [](const RunSettings& s) { EXPECT_EQ(s.ageDays, 2147483647); }},
                AcceptCase{"MaxAgeLettersMeansNone",
                           {"-report", "-maxage", "abc"},
                           [](const RunSettings& s) { EXPECT_EQ(s.maxAgeDays, 0); }},
                AcceptCase{"MaxAgeTen",
                           {"-report", "-maxage", "10"},
                           [](const RunSettings& s) { EXPECT_EQ(s.maxAgeDays, 10); }},
                AcceptCase{"PageSizeNegativeTaken",
                           {"-report", "-ps", "-5"},
                           [](const RunSettings& s) { EXPECT_EQ(s.pageSize, -5); }},
                AcceptCase{"TimeoutRead",
                           {"-report", "-t", " 42x"},
                           [](const RunSettings& s) { EXPECT_EQ(s.timeoutSeconds, 42); }},
                AcceptCase{"SafetyAndUnsafe",
                           {"-report", "-safety", "5", "-unsafe"},
                           [](const RunSettings& s) { EXPECT_EQ(s.safetyLimit, 5); }},
                AcceptCase{"SafetyNegative",
                           {"-report", "-safety", "-3"},
                           [](const RunSettings& s) { EXPECT_EQ(s.safetyLimit, -3); }},
                AcceptCase{
                    "UnsafeAlone",
                    {"-report", "-unsafe", "-forreal"},
                    [](const RunSettings& s) {
                      EXPECT_EQ(s.safetyLimit, -1);
                      EXPECT_TRUE(s.forReal);
                    }},
                AcceptCase{"FileWithoutExtension",
                           {"-report", "-file", "out"},
                           [](const RunSettings& s) { EXPECT_EQ(s.reportFile, "out.htm"); }},
                AcceptCase{"FileWithExtension",
                           {"-report", "-file", "out.txt"},
                           [](const RunSettings& s) { EXPECT_EQ(s.reportFile, "out.txt"); }},
                AcceptCase{"FileConsole",
                           {"-report", "-file", "con:"},
                           [](const RunSettings& s) { EXPECT_EQ(s.reportFile, "con:"); }},
                AcceptCase{"FileWithDate",
                           {"-report", "-file", "rep<DATE>.htm"},
                           [](const RunSettings& s) {
                             EXPECT_EQ(s.reportFile, "rep20041229-010922.htm");
                           }},
                AcceptCase{"FileTwoDates",
                           {"-report", "-file", "<DATE>/<DATE>"},
                           [](const RunSettings& s) {
                             EXPECT_EQ(s.reportFile, "20041229-010922/20041229-010922.htm");
                           }},
                AcceptCase{"DisableWithNewParent",
                           {"-disable", "-newparent", "ou=old,dc=x"},
                           [](const RunSettings& s) {
                             EXPECT_EQ(s.action, ActionKind::kDisable);
                             EXPECT_EQ(s.newParent, "ou=old,dc=x");
                           }},
                AcceptCase{"MoveWithParent",
                           {"-move", "-newparent", "ou=old"},
                           [](const RunSettings& s) { EXPECT_EQ(s.action, ActionKind::kMove); }},
                AcceptCase{
                    "DeleteStamp",
                    {"-delete", "-stamp"},
                    [](const RunSettings& s) {
                      EXPECT_EQ(s.action, ActionKind::kDelete);
                      EXPECT_TRUE(s.stamp);
                    }},
                AcceptCase{"RenameMaskIgnored",
                           {"-report", "-renamemask", "x-*"},
                           [](const RunSettings& s) { EXPECT_EQ(s.renameMask, "$OLD$-*"); }},
                AcceptCase{
                    "Exclusions",
                    {"-report", "-excldn", "OU=Test;OU=Lab"},
                    [](const RunSettings& s) {
                      EXPECT_EQ(s.dnExclusions, (std::vector<std::string>{"ou=test", "ou=lab"}));
                    }},
                AcceptCase{"ExclusionDelimiter",
                           {"-report", "-excldn", "A|B;C", "-excldndelim", "|"},
                           [](const RunSettings& s) {
                             EXPECT_EQ(s.dnExclusions, (std::vector<std::string>{"a", "b;c"}));
                           }},
                AcceptCase{"ReportFlags",
                           {"-report", "-noheader", "-nohtmlheader", "-nostats", "-append", "-sh",
                            "-nolc", "-norefer"},
                           [](const RunSettings& s) {
                             EXPECT_FALSE(s.writeHeader);
                             EXPECT_FALSE(s.writeHtmlHeader);
                             EXPECT_FALSE(s.writeStats);
                             EXPECT_TRUE(s.appendToFile);
                             EXPECT_TRUE(s.showReport);
                             EXPECT_FALSE(s.lowerCaseNames);
                             EXPECT_FALSE(s.chaseReferrals);
                           }},
                AcceptCase{
                    "FilterSwitches",
                    {"-report", "-users", "-onlydisabled", "-nodc", "-realage", "-llts", "-bit",
                     "-af", "x=1", "-f", "(cn=x)", "-h", "dc1", "-b", "dc=x", "-addattrib", "a;b"},
                    [](const RunSettings& s) {
                      EXPECT_TRUE(s.usersMode && s.onlyDisabled && s.excludeDcs && s.realAge &&
                                  s.useLastLogonTimestamp && s.bitwiseTransform);
                      EXPECT_EQ(s.addOnFilterText, "x=1");
                      EXPECT_EQ(s.filterText, "(cn=x)");
                      EXPECT_EQ(s.host, "dc1");
                      EXPECT_EQ(s.baseDn, "dc=x");
                      EXPECT_EQ(s.addAttributes, "a;b");
                    }}),
    [](const ::testing::TestParamInfo<AcceptCase>& info) { return info.param.name; });

TEST_F(OptionsTest, PageSizeZeroWarnsAndKeepsDefault) {
  Outcome outcome = evaluate({"-report", "-ps", "0"});
  EXPECT_FALSE(outcome.result.stop);
  EXPECT_EQ(outcome.settings.pageSize, 100);
  EXPECT_EQ(outcome.err, "ERROR: Invalid Page Size Specified - setting to 100\n");
}

TEST_F(OptionsTest, StartTimeTakenOnceForLimitsAndFileName) {
  static int calls = 0;
  calls = 0;
  CommandLine commandLine({"tavrel", "-report", "-maxage", "30"});
  ASSERT_FALSE(checkSwitches(commandLine).stop);
  RunSettings settings;
  FilterPieces pieces;
  AgeLimits limits;
  console::Capture capture;
  evaluateOptions(commandLine, settings, pieces, limits, []() -> Int8 {
    ++calls;
    return kStart + calls * 864000000000LL * 400;  // each call a different day
  });
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(limits.startTime, kStart + 864000000000LL * 400);
  EXPECT_EQ(settings.reportFile, "tavrel." + limits.dateStamp + ".htm");
  EXPECT_EQ(limits.dateStamp, "20060202-010922");
}

TEST_F(OptionsTest, NothingPrintedWithoutDebugForAPassingLine) {
  Outcome outcome = evaluate({"-report", "-excldn", "a", "-sort", "cn", "-t", "3", "-af", "x"});
  EXPECT_FALSE(outcome.result.stop);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.out, "");
}

TEST_F(OptionsTest, DebugEchoInStepOrder) {
  Outcome outcome =
      evaluate({"-disable",      "-d",     "-h",      "dc1",     "-s",     "One",      "-b",
                "dc=x",          "-f",     "cn=a*",   "-ps",     "50",     "-t",       "60",
                "-onlydisabled", "-af",    "x=1",     "-age",    "30",     "-maxage",  "60",
                "-rsort",        "os",     "-format", "csv",     "-delim", "tab",      "-nolc",
                "-newparent",    "ou=Old", "-stamp",  "-safety", "3",      "-forreal", "-excldn",
                "OU=A;;ou=b"});
  ASSERT_FALSE(outcome.result.stop) << outcome.err;
  EXPECT_EQ(outcome.err,
            "DEBUG: Host : dc1\n"
            "DEBUG: Scope: one\n"
            "DEBUG: Base : dc=x\n"
            "DEBUG: Input Filter: cn=a*\n"
            "DEBUG: Page Size   : 50\n"
            "DEBUG: Timeout: 60\n"
            "DEBUG: AddToFilter : (useraccountcontrol:1.2.840.113556.1.4.803:=2)(x=1)\n"
            "DEBUG: Age   : 30\n"
            "DEBUG: MaxAge: 60\n"
            "DEBUG: Start Time Stamp   : 2004/12/29-01:09:22\n"
            "DEBUG: CurrentDate        : 127487561620000000\n"
            "DEBUG: OldAgeDate Value   : 127461641620000000\n"
            "DEBUG: MaxOldAgeDate Value: 127435721620000000\n"
            "DEBUG: Sort Option  : 6\n"
            "DEBUG: Report Options\n"
            "DEBUG: --------------\n"
            "DEBUG: Report Type  : 3\n"
            "DEBUG: CSV Delimiter: [\t]\n"
            "DEBUG: HtmlHeader   : 1\n"
            "DEBUG: Header       : 1\n"
            "DEBUG: Sort Option  : 6\n"
            "DEBUG: Append Mode  : 0\n"
            "DEBUG: Show Report  : 0\n"
            "DEBUG: Normalize    : 0\n"
            "DEBUG: Report File  : tavrel.20041229-010922.csv.tab\n"
            "DEBUG: Action Options\n"
            "DEBUG: --------------\n"
            "DEBUG: Action Type: 3\n"
            "DEBUG: Stamp      : 1\n"
            "DEBUG: New Parent : ou=Old\n"
            "DEBUG: Rename Mask: $OLD$-*\n"
            "DEBUG: Safety Setting: 3\n"
            "DEBUG: For Real Setting: 1\n");
  EXPECT_EQ(outcome.out,
            "DEBUG: DN Exclusions\n"
            "DEBUG: Exclude DN: ou=a\n"
            "DEBUG: Exclude DN: \n"
            "DEBUG: Exclude DN: ou=b\n");
}

TEST_F(OptionsTest, LaterStageSwitchesEchoAfterTheActionOptions) {
  Outcome outcome = evaluate(
      {"-delete", "-d", "-disabledfor", "30", "-forreal", "-undo", "u<DATE>.ldif", "-excldn", "x"});
  ASSERT_FALSE(outcome.result.stop) << outcome.err;
  EXPECT_TRUE(
      outcome.err.ends_with("DEBUG: For Real Setting: 1\n"
                            "DEBUG: Disabled For (days): 30\n"
                            "DEBUG: Undo File: u20041229-010922.ldif\n"))
      << outcome.err;
  EXPECT_EQ(outcome.settings.undoFile, "u20041229-010922.ldif");
  EXPECT_EQ(*outcome.settings.disabledForDays, 30);
}

TEST_F(OptionsTest, AccountAndPasswordFileEchoLast) {
  Outcome outcome =
      evaluate({"-report", "-d", "-addattrib", "x", "-pwfile", "pw.txt", "-user", "TAVREL\\alice"});
  ASSERT_FALSE(outcome.result.stop) << outcome.err;
  EXPECT_TRUE(
      outcome.err.ends_with("DEBUG: For Real Setting: 0\n"
                            "DEBUG: User: TAVREL\\alice\n"
                            "DEBUG: Password File: pw.txt\n"))
      << outcome.err;
  EXPECT_EQ(outcome.settings.bindUser, "TAVREL\\alice");
  EXPECT_EQ(outcome.settings.passwordFile, "pw.txt");
}

TEST_F(OptionsTest, UndoJournalOnlyForRunsThatWriteAndBesideTheReport) {
  struct Case {
    std::vector<std::string> arguments;
    std::string undoFile;
  };
  const std::string date = "20041229-010922";
  const Case cases[] = {
      {{"-disable", "-forreal"}, "tavrel." + date + ".undo.ldif"},
      {{"-move", "-newparent", "ou=x", "-forreal", "-format", "csv"},
       "tavrel." + date + ".undo.ldif"},
      {{"-delete", "-forreal", "-format", "none"}, "tavrel." + date + ".undo.ldif"},
      {{"-delete", "-forreal", "-file", "con:"}, "tavrel." + date + ".undo.ldif"},
      {{"-delete", "-forreal", "-format", "json", "-file", "out"}, "out.undo.ldif"},
      {{"-delete", "-forreal", "-file", "reports.d/out.txt"}, "reports.d/out.undo.ldif"},
      {{"-delete", "-forreal", "-file", "reports.d/out"}, "reports.d/out.undo.ldif"},
      {{"-delete", "-forreal", "-format", "csv", "-file", "a.b.csv.txt"}, "a.b.undo.ldif"},
      {{"-disable", "-forreal", "-noundo"}, ""},
      {{"-disable"}, ""},
      {{"-disable", "-undo", "u.ldif"}, ""},
      {{"-report", "-forreal"}, ""},
  };
  for (const Case& c : cases) {
    Outcome outcome = evaluate(c.arguments);
    ASSERT_FALSE(outcome.result.stop) << outcome.err;
    EXPECT_EQ(outcome.settings.undoFile, c.undoFile) << c.arguments.back();
  }
}

TEST_F(OptionsTest, QuietDebugStillEchoes) {
  Outcome outcome = evaluate({"-report", "-q", "-d"});
  EXPECT_TRUE(outcome.err.starts_with("DEBUG: Host : \n"));
  EXPECT_NE(outcome.err.find("DEBUG: Report File  : tavrel.20041229-010922.htm\n"),
            std::string::npos);
}

TEST_F(OptionsTest, HugeAndOddValuesDoNotBreakTheChecks) {
  const std::string huge(100000, 'z');
  Outcome outcome = evaluate({"-report", "-file", huge, "-excldn", huge, "-af", huge, "-b", huge});
  ASSERT_FALSE(outcome.result.stop);
  EXPECT_EQ(outcome.settings.reportFile, huge + ".htm");
  EXPECT_EQ(outcome.settings.dnExclusions, std::vector<std::string>{huge});
  EXPECT_EQ(outcome.pieces.addOn, "(" + huge + ")");

  Outcome bad = evaluate({"-report", "-age", huge});
  EXPECT_EQ(bad.result.exitCode, -1);
  EXPECT_EQ(bad.err, "\nERROR: Possible bad age parameter (" + huge + " - 0)\n");

  Outcome bytes = evaluate({"-report", "-excldn", "OU=\xC4\xD6;\xFF", "-s", "\xFFone"});
  ASSERT_FALSE(bytes.result.stop);
  EXPECT_EQ(bytes.settings.dnExclusions, (std::vector<std::string>{"ou=\xC4\xD6", "\xFF"}));
  EXPECT_EQ(bytes.settings.scope, "\xFFone");
}

struct SplitCase {
  const char* text;
  const char* delimiter;
  std::vector<std::string> items;
};

TEST(SplitExclusionsTest, Cases) {
  const SplitCase cases[] = {
      {"a;b", ";", {"a", "b"}},
      {"a;;b", ";", {"a", "", "b"}},
      {"a;", ";", {"a"}},
      {";a", ";", {"", "a"}},
      {";", ";", {""}},
      {"a;;", ";", {"a", ""}},
      {"", ";", {}},
      {"abc", "", {"", "", ""}},
      {"", "", {}},
      {"a--b--", "--", {"a", "b"}},
      {"a-b", "--", {"a-b"}},
      {"x", ";", {"x"}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(splitExclusions(c.text, c.delimiter), c.items)
        << "text '" << c.text << "' delimiter '" << c.delimiter << "'";
  }
}

}  // namespace
}  // namespace tavrel
