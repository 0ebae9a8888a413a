// SPDX-License-Identifier: Apache-2.0
#include "directory/account_name.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

TEST(AccountNameTest, SplitAndKerberosPrincipal) {
  struct Case {
    const char* typed;
    const char* defaultRealm;
    const char* domain;
    const char* name;
    const char* principal;
  };
  const Case cases[] = {
      {"TAVREL\\alice", "TAVREL.TEST", "TAVREL", "alice", "alice@TAVREL.TEST"},
      {"tavrel\\alice", "TAVREL.TEST", "tavrel", "alice", "alice@TAVREL.TEST"},
      // A short domain that is not the default realm's: a realm of its own.
      {"OTHER\\bob", "TAVREL.TEST", "OTHER", "bob", "bob@OTHER"},
      {"alice@tavrel.test", "", "tavrel.test", "alice", "alice@TAVREL.TEST"},
      {"a@b@corp.example", "X.TEST", "corp.example", "a@b", "a@b@CORP.EXAMPLE"},
      {"carol", "TAVREL.TEST", "", "carol", "carol@TAVREL.TEST"},
      {"carol", "", "", "carol", "carol"},
      {"DOM\\x@y", "", "DOM", "x@y", "x@y@DOM"},
  };
  for (const Case& c : cases) {
    AccountName account = splitAccountName(c.typed);
    EXPECT_EQ(account.domain, c.domain) << c.typed;
    EXPECT_EQ(account.name, c.name) << c.typed;
    EXPECT_EQ(kerberosPrincipal(account, c.defaultRealm), c.principal) << c.typed;
  }
}

}  // namespace
}  // namespace tavrel
