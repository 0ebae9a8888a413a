// SPDX-License-Identifier: Apache-2.0
#include "cli/exclusion_file.h"

#include <gtest/gtest.h>

#include "query/dn_key.h"

namespace tavrel {
namespace {

TEST(ExclusionFileTest, DnsNamesCommentsAndTheFirstBadLine) {
  AccountList list;
  EXPECT_EQ(parseExclusionText("# held\n\n CN=PC1, OU=Lab,DC=x \r\nPC2$\nkiosk 3\n"
                               "cn=a\\,b,dc=x\ncn=\"q,r\",dc=x\n",
                               list),
            0);
  EXPECT_EQ(list.dnKeys.size(), 3u);
  EXPECT_TRUE(list.dnKeys.contains(dnKey("cn=pc1,ou=lab,dc=x")));
  EXPECT_TRUE(list.dnKeys.contains(dnKey("cn=a\\2cb,dc=x")));
  EXPECT_EQ(list.names, (std::unordered_set<std::string>{"pc2", "kiosk 3"}));
  struct Case {
    const char* text;
    int badLine;
  };
  const Case cases[] = {
      {"pc1\npc1,pc2\n", 2}, {"# c\n=x\n", 2},   {"cn=a,\n", 1},   {"cn=\"open,dc=x\n", 1},
      {"pc[1]\n", 1},        {"$\n", 1},         {"a\x01 b\n", 1}, {"cn=a+ou=b,dc=x\n", 0},
      {"#only\n\n", 0},      {"oid.1.2=x\n", 0},
  };
  for (const Case& c : cases) {
    AccountList more;
    EXPECT_EQ(parseExclusionText(c.text, more), c.badLine) << c.text;
  }
  EXPECT_FALSE(isAccountName(std::string(257, 'a')));
  EXPECT_TRUE(isAccountName(std::string(256, 'a')));
}

}  // namespace
}  // namespace tavrel
