// SPDX-License-Identifier: Apache-2.0
#include "directory/filter_leniency.h"

#include <gtest/gtest.h>

namespace tavrel::ldap {
namespace {

TEST(BracketBareNegationsTest, WrapsOnlyOperandsWithoutParentheses) {
  struct Case {
    const char* filter;
    const char* sent;
  };
  const Case cases[] = {
      {"(!useraccountcontrol:1.2.840.113556.1.4.803:=8192)",
       "(!(useraccountcontrol:1.2.840.113556.1.4.803:=8192))"},
      {"(&(objectcategory=computer)(pwdLastSet<=1)(!useraccountcontrol:1.2.840.113556.1.4.803:="
       "8192))",
       "(&(objectcategory=computer)(pwdLastSet<=1)(!(useraccountcontrol:1.2.840.113556.1.4.803:="
       "8192)))"},
      {"(!(cn=a))", "(!(cn=a))"},
      {"(! (cn=a))", "(! (cn=a))"},
      {"(! cn=a)", "(! (cn=a))"},
      {"(!(!cn=a))", "(!(!(cn=a)))"},
      {"(&(!cn=a)(!sn=b)(!(ou=c)))", "(&(!(cn=a))(!(sn=b))(!(ou=c)))"},
      // Escaped parentheses in a value are part of the item, not its end.
      {"(!cn=a\\29b)", "(!(cn=a\\29b))"},
      {"(cn=\\28!x\\29)", "(cn=\\28!x\\29)"},
      {"(objectcategory=computer)", "(objectcategory=computer)"},
      {"", ""},
      // Broken texts are passed on for the library to refuse as it always would.
      {"(!cn=a", "(!cn=a"},
      {"(!", "(!"},
  };
  for (const Case& c : cases) EXPECT_EQ(bracketBareNegations(c.filter), c.sent) << c.filter;
}

}  // namespace
}  // namespace tavrel::ldap
