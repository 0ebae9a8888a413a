// SPDX-License-Identifier: Apache-2.0
#include "query/group_exclusion.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

TEST(GroupExclusionTest, OneEscapedInChainTermPerGroup) {
  EXPECT_EQ(excludedGroupTerms({}), "");
  EXPECT_EQ(excludedGroupTerms({"CN=Hold,DC=x", "CN=a\\,b (*),DC=x"}),
            "(!(memberOf:1.2.840.113556.1.4.1941:=CN=Hold,DC=x))"
            "(!(memberOf:1.2.840.113556.1.4.1941:=CN=a\\5c,b \\28\\2a\\29,DC=x))");
  EXPECT_EQ(filterValue(std::string("a\0b", 3)), "a\\00b");
}

}  // namespace
}  // namespace tavrel
