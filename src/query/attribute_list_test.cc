// SPDX-License-Identifier: Apache-2.0
#include "query/attribute_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/console.h"

namespace tavrel {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr const char* kComputer =
    "DN;cn;sAMAccountName;dNSHostName;pwdLastSet;pwage;whenCreated;accountExpires;"
    "operatingSystem;operatingSystemServicePack;operatingSystemVersion;userAccountControl";
constexpr const char* kUser =
    "DN;cn;displayName;sAMAccountName;pwdLastSet;pwage;whenCreated;accountExpires;"
    "userAccountControl";

RootDseInfo atLevel(int level) {
  RootDseInfo info;
  info.domainFunctionality = level;
  return info;
}

TEST(AttributeListTest, ColumnsFollowModeLevelAndAddedNames) {
  struct Case {
    bool users;
    int level;
    const char* added;
    std::string text;
  } cases[] = {
      {false, 0, nullptr, kComputer},
      {false, 1, nullptr, kComputer},
      {false, 2, nullptr, std::string(kComputer) + ";lastLogonTimestamp;lltsAge"},
      {false, 4, nullptr, std::string(kComputer) + ";lastLogonTimestamp;lltsAge"},
      {true, 1, nullptr, kUser},
      // Given without a value: the text gains a bare ";" that adds no column.
      {true, 1, "", std::string(kUser) + ";"},
      {true, 1, "mail", std::string(kUser) + ";mail"},
      {false, 2, "description;location",
       std::string(kComputer) + ";lastLogonTimestamp;lltsAge;description;location"},
      // Taken verbatim: case, blanks and stray delimiters are the user's.
      {false, 0, "Description ;;x;", std::string(kComputer) + ";Description ;;x;"},
  };
  for (const auto& c : cases) {
    RunSettings settings;
    settings.usersMode = c.users;
    if (c.added) settings.addAttributes = c.added;
    AttributeList list = buildAttributeList(settings, atLevel(c.level));
    EXPECT_EQ(list.text, c.text) << c.level << " " << (c.added ? c.added : "(absent)");
    EXPECT_EQ(list.names, splitAttributeText(c.text));
  }
}

TEST(AttributeListTest, DefaultComputerColumnsInOrder) {
  AttributeList list = buildAttributeList(RunSettings{}, atLevel(2));
  EXPECT_THAT(list.names, ElementsAre("DN", "cn", "sAMAccountName", "dNSHostName", "pwdLastSet",
                                      "pwage", "whenCreated", "accountExpires", "operatingSystem",
                                      "operatingSystemServicePack", "operatingSystemVersion",
                                      "userAccountControl", "lastLogonTimestamp", "lltsAge"));
}

TEST(AttributeListTest, SplitKeepsEmptyNamesButNoEmptyLastOne) {
  struct Case {
    const char* text;
    std::vector<std::string> names;
  } cases[] = {
      {"a;;b", {"a", "", "b"}},
      {"a;b;", {"a", "b"}},
      {"a;b;;", {"a", "b", ""}},
      {";a", {"", "a"}},
      {";", {""}},
      {"", {}},
      {"a", {"a"}},
  };
  for (const auto& c : cases) {
    EXPECT_THAT(splitAttributeText(c.text), ElementsAreArray(c.names)) << c.text;
  }
}

TEST(AttributeListTest, DebugEchoOnStandardError) {
  console::Capture capture;
  console::setFlags(false, true);
  RunSettings settings;
  settings.usersMode = true;
  settings.addAttributes = "mail;";
  buildAttributeList(settings, atLevel(2));
  std::string withLlts = std::string(kUser) + ";lastLogonTimestamp;lltsAge";
  std::string expected = "DEBUG: Attributes: " + withLlts + "\n" +
                         "DEBUG: Attributes: " + withLlts + ";mail;\n" +
                         "DEBUG: Attrib List\nDEBUG: -----------\n";
  for (const auto& name : splitAttributeText(withLlts + ";mail")) {
    expected += "DEBUG: " + name + "\n";
  }
  EXPECT_EQ(capture.err(), expected);
  EXPECT_EQ(capture.out(), "");

  // Neither step applies: only the list is echoed; without -d nothing at all.
  capture.clear();
  buildAttributeList(RunSettings{}, atLevel(0));
  EXPECT_EQ(capture.err().rfind("DEBUG: Attrib List\n", 0), 0u);
  console::setFlags(false, false);
  capture.clear();
  buildAttributeList(settings, atLevel(2));
  EXPECT_EQ(capture.err(), "");
}

TEST(SortSpecTest, SortFieldToAttributeAndSendRule) {
  struct Case {
    SortField field;
    bool reverse;
    int level;
    ReportFormat format;
    const char* attribute;
    bool send;
  } cases[] = {
      {SortField::kNone, false, 2, ReportFormat::kHtml, "", false},
      {SortField::kCn, false, 0, ReportFormat::kHtml, "sAMAccountName", true},
      {SortField::kAge, true, 0, ReportFormat::kCsv, "whenCreated", true},
      {SortField::kPwage, true, 2, ReportFormat::kHtml, "pwdLastSet", true},
      {SortField::kOs, false, 1, ReportFormat::kNone, "operatingSystemVersion", true},
      {SortField::kLlts, false, 2, ReportFormat::kHtml, "lastLogonTimeStamp", true},
      {SortField::kLlts, true, 3, ReportFormat::kHtml, "lastLogonTimeStamp", true},
      {SortField::kLlts, false, 1, ReportFormat::kHtml, "", false},
      // The dhtml page sorts in the browser but starts on the chosen column.
      {SortField::kPwage, false, 2, ReportFormat::kDhtml, "pwdLastSet", false},
      {SortField::kNone, false, 2, ReportFormat::kDhtml, "", false},
      {SortField::kLlts, false, 1, ReportFormat::kDhtml, "", false},
  };
  for (const auto& c : cases) {
    RunSettings settings;
    settings.sortField = c.field;
    settings.reverseSort = c.reverse;
    settings.format = c.format;
    SortSpec sort = buildSortSpec(settings, atLevel(c.level));
    SCOPED_TRACE(static_cast<int>(c.field));
    EXPECT_EQ(sort.sortAttribute, c.attribute);
    EXPECT_EQ(sort.sendKey, c.send);
    EXPECT_EQ(sort.reverse, c.reverse);
    EXPECT_EQ(sort.sortField, c.field);
  }
}

}  // namespace
}  // namespace tavrel
