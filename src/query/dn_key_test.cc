// SPDX-License-Identifier: Apache-2.0
#include "query/dn_key.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tavrel {
namespace {

TEST(DnKeyTest, SpellingsOfOneNameGiveOneKey) {
  const std::vector<std::vector<std::string>> same = {
      {"CN=PC1,OU=Old,DC=tavrel,DC=test", "cn=pc1,ou=old,dc=tavrel,dc=test",
       "cn = PC1 , ou=OLD,  dc=Tavrel,dc=TEST", "CN=PC1;OU=Old;DC=tavrel;DC=test", "OID.2.5.4.3=x",
       "cn=pc1,ou=old,dc=tavrel,dc=test "},
      {"cn=a\\,b,dc=x", "CN=A\\2cB,DC=X", "cn=\"A,B\",dc=x", "cn=a\\2C b,dc=x"},
      {"cn=a+sn=b,dc=x", "SN=B + CN=A,dc=x"},
      {"cn=\\ lead,dc=x", "cn=\\20lead,dc=x"},
      {"cn=trail\\ ,dc=x", "cn=trail\\20,dc=x"},
      {"cn=\\C3\\A9,dc=x", "cn=\xC3\xA9,dc=x"},
  };
  // The a\2C b spelling differs by its blank; it belongs to no group and is checked below.
  const std::string odd = "cn=a\\2C b,dc=x";
  for (const auto& group : same) {
    for (const std::string& dn : group) {
      if (dn == odd || dn == "OID.2.5.4.3=x") continue;
      EXPECT_EQ(dnKey(dn), dnKey(group.front())) << dn;
    }
  }
  EXPECT_EQ(dnKey("OID.2.5.4.3=X"), dnKey("2.5.4.3=x"));
  EXPECT_NE(dnKey(odd), dnKey("cn=a\\,b,dc=x"));
}

TEST(DnKeyTest, DifferentNamesStayApart) {
  const std::vector<std::string> distinct = {
      "cn=pc1,ou=old,dc=x", "cn=pc1,ou=new,dc=x",  "cn=pc1\\,ou=old,dc=x", "cn=pc1+ou=old,dc=x",
      "cn=pc1 x,dc=x",      "cn=pc1\\20,dc=x",     "cn=pc1,dc=x",          "cn=pc1\\=x,dc=x",
      "sn=pc1,dc=x",        "cn=#04024869,dc=x",   "cn=\\#04024869,dc=x",  "cn=,dc=x",
      "cn=a,,dc=x",         "no equals sign here", "cn=a\"b,dc=x",         "",
  };
  for (std::size_t i = 0; i < distinct.size(); ++i) {
    for (std::size_t j = i + 1; j < distinct.size(); ++j) {
      EXPECT_NE(dnKey(distinct[i]), dnKey(distinct[j])) << distinct[i] << " / " << distinct[j];
    }
  }
  // Text that does not parse still finds its own repeats, whatever the case.
  EXPECT_EQ(dnKey("cn=a,,DC=x"), dnKey("CN=A,,dc=X"));
}

// An entry is only acted on where the search (or the reference it came through) was aimed:
// a name may look as if it ended in the base without lying below it.
TEST(DnKeyTest, WithinTellsNamesBelowTheBaseFromLookAlikes) {
  const std::string base = "ou=Fleet,DC=tavrel,DC=test";
  struct Case {
    const char* dn;
    bool within;
  } cases[] = {
      {"cn=PC1,ou=fleet,dc=tavrel,dc=test", true},
      {"CN=PC1 , OU=Fleet , DC=Tavrel , DC=Test", true},
      {"cn=PC1,ou=Branch,ou=Fleet,dc=tavrel,dc=test", true},
      {"ou=Fleet,dc=tavrel,dc=test", true},
      {"cn=DC1,ou=Domain Controllers,dc=tavrel,dc=test", false},
      {"cn=PC1,ou=NotFleet,dc=tavrel,dc=test", false},
      {"cn=PC1,xou=Fleet,dc=tavrel,dc=test", false},
      {"cn=PC1\\,ou=Fleet\\,dc=tavrel\\,dc=test,dc=evil", false},
      {"ou=x\\,ou=Fleet\\,dc=tavrel\\,dc=test", false},
      {"cn=\"PC1,ou=Fleet,dc=tavrel,dc=test", false},
      {"dc=tavrel,dc=test", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(dnWithin(c.dn, base), c.within) << c.dn;
  EXPECT_TRUE(dnWithin("cn=anything,dc=else", ""));
}

// Most DNs take a short cut (lower-casing); a leading blank, which the parse skips, makes any
// DN take the full parse. Both roads must give the same key, and refuse the same texts.
TEST(DnKeyTest, ShortCutAgreesWithTheFullParse) {
  const std::vector<std::string> pieces = {"cn", "CN", "OID.", "oid.", "=",  "=",       ",",
                                           ",",  "a",  "B",    "1",    " ",  "\\",      "+",
                                           ";",  "#",  "\"",   "\x01", "2C", "\xC3\xA9"};
  std::mt19937 random(20261208);
  for (int i = 0; i < 20000; ++i) {
    std::string dn;
    const int length = 1 + static_cast<int>(random() % 10);
    for (int j = 0; j < length; ++j) dn += pieces[random() % pieces.size()];
    const std::string full = dnKey(" " + dn);
    const std::string key = dnKey(dn);
    if (full.starts_with('\x01')) {
      EXPECT_TRUE(key.starts_with('\x01')) << dn;
    } else {
      EXPECT_EQ(key, full) << dn;
    }
  }
}

}  // namespace
}  // namespace tavrel
