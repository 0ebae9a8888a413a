// SPDX-License-Identifier: Apache-2.0
#include "actions/ldif.h"

#include <gtest/gtest.h>

namespace tavrel::ldif {
namespace {

TEST(LdifTest, UnsafeValuesGoBase64) {
  EXPECT_EQ(line("cn", "PC1"), "cn: PC1\n");
  EXPECT_EQ(line("cn", ""), "cn: \n");
  EXPECT_EQ(line("dn", "CN=a\\,b,OU=x"), "dn: CN=a\\,b,OU=x\n");
  EXPECT_EQ(line("cn", " lead"), "cn:: IGxlYWQ=\n");
  EXPECT_EQ(line("cn", "trail "), "cn:: dHJhaWwg\n");
  EXPECT_EQ(line("cn", ":x"), "cn:: Ong=\n");
  EXPECT_EQ(line("cn", "<x"), "cn:: PHg=\n");
  EXPECT_EQ(line("cn", "a\nb"), "cn:: YQpi\n");
  EXPECT_EQ(line("cn", "\xC3\xA9"), "cn:: w6k=\n");
  EXPECT_EQ(base64(std::string("\0\xff\x10", 3)), "AP8Q");
}

TEST(LdifTest, CommentsCannotBeBrokenOutOf) {
  EXPECT_EQ(comment("cn=a\n\ndn: cn=evil\r\x7f"), "# cn=a\\x0A\\x0Adn: cn=evil\\x0D\\x7F\n");
}

}  // namespace
}  // namespace tavrel::ldif
