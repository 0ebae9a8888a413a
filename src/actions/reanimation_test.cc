// SPDX-License-Identifier: Apache-2.0
#include "actions/reanimation.h"

#include <gtest/gtest.h>

#include <utility>

namespace tavrel {
namespace {

constexpr char kGuid[] = "\x33\x22\x11\x00\x55\x44\x77\x66\x88\x99\xaa\xbb\xcc\xdd\xee\xff";
constexpr char kAccountDn[] = "CN=PC1,OU=Old,DC=t";
constexpr char kChildDn[] = "CN=Key,CN=PC1,OU=Old,DC=t";

ldap::Entry entry(std::string dn, std::vector<ldap::Attribute> attributes) {
  ldap::Entry made;
  made.dn = std::move(dn);
  made.attributes = std::move(attributes);
  return made;
}

ldap::Entry archivedAccount() {
  return entry(kAccountDn, {{"objectClass", {"top", "computer"}},
                            {"cn", {"PC1"}},
                            {"description", {"kept", "two"}},
                            {"sAMAccountName", {"PC1$"}},
                            {"servicePrincipalName", {"HOST/pc1"}},
                            {"pwdLastSet", {"133000000000000000"}},
                            {"member;range=0-1", {"x"}},
                            {"whenCreated", {"20200101000000.0Z"}},
                            {std::string(kWritableAttributes),
                             {"objectClass", "cn", "description", "sAMAccountName",
                              "servicePrincipalName", "pwdLastSet", "member", "name"}}});
}

ldap::Entry archivedChild() {
  return entry(kChildDn, {{"objectClass", {"top", "msFVE-RecoveryInformation"}},
                          {"cn", {"Key"}},
                          {"msFVE-RecoveryPassword", {"111111-222222"}},
                          {"uSNCreated", {"5"}},
                          {std::string(kWritableAttributes),
                           {"cn", "msFVE-RecoveryPassword", "objectClass"}}});
}

ldap::Entry deletedObject(const char* dn) {
  return entry(dn, {{"objectClass", {"top", "computer"}},
                    {"isDeleted", {"TRUE"}},
                    {"sAMAccountName", {"PC1$"}},
                    {"description", {"two", "kept"}}});
}

TEST(ReanimationTest, TombstonesAreRevivedGivenBackWhatTheyLostAndTheirChildrenAdded) {
  const std::string records =
      restoreRecords({archivedAccount(), archivedChild()},
                     {deletedObject("CN=PC1\\0ADEL:0011,CN=Deleted Objects,DC=t")}, false);
  const std::string expected =
      "dn: CN=PC1\\0ADEL:0011,CN=Deleted Objects,DC=t\n"
      "control: 1.2.840.113556.1.4.417 true\n"
      "changetype: modify\n"
      "delete: isDeleted\n-\n"
      "replace: distinguishedName\n"
      "distinguishedName: CN=PC1,OU=Old,DC=t\n-\n\n"
      // Only what the tombstone lost and the user may write: not the kept values (in another
      // order), the classes, the RDN, pwdLastSet, ranged names or system attributes.
      "dn: CN=PC1,OU=Old,DC=t\n"
      "changetype: modify\n"
      "replace: servicePrincipalName\n"
      "servicePrincipalName: HOST/pc1\n-\n\n"
      "dn: CN=Key,CN=PC1,OU=Old,DC=t\n"
      "changetype: add\n"
      "objectClass: top\n"
      "objectClass: msFVE-RecoveryInformation\n"
      "cn: Key\n"
      "msFVE-RecoveryPassword: 111111-222222\n\n";
  ASSERT_TRUE(records.starts_with("# To bring it back")) << records;
  EXPECT_EQ(records.substr(records.find('\n') + 1), expected);
}

TEST(ReanimationTest, WithTheRecycleBinEveryObjectIsRevivedParentsFirst) {
  ldap::Entry grandchild = entry("CN=Deep,CN=Key,CN=PC1,OU=Old,DC=t", {{"objectClass", {"top"}}});
  const std::string records =
      restoreRecords({archivedAccount(), archivedChild(), grandchild},
                     {deletedObject("CN=PC1\\0ADEL:1,CN=Deleted Objects,DC=t"),
                      deletedObject("CN=Key\\0ADEL:2,CN=Deleted Objects,DC=t"), std::nullopt},
                     true);
  const std::size_t account = records.find("dn: CN=PC1\\0ADEL:1,");
  const std::size_t child = records.find("dn: CN=Key\\0ADEL:2,");
  ASSERT_NE(account, std::string::npos) << records;
  ASSERT_NE(child, std::string::npos) << records;
  EXPECT_LT(account, child);
  EXPECT_NE(records.find("distinguishedName: CN=Key,CN=PC1,OU=Old,DC=t\n"), std::string::npos);
  EXPECT_EQ(records.find("changetype: add"), std::string::npos);
  EXPECT_EQ(records.find("replace: servicePrincipalName"), std::string::npos);
  EXPECT_NE(records.find("# CN=Deep,CN=Key,CN=PC1,OU=Old,DC=t: no deleted object of it was "
                         "found"),
            std::string::npos);
}

TEST(ReanimationTest, NothingIsClaimedWhenNoDeletedObjectWasKept) {
  const std::string records = restoreRecords({archivedAccount()}, {std::nullopt}, false);
  EXPECT_TRUE(records.starts_with("# Nothing in this file can bring it back")) << records;
  EXPECT_EQ(records.find("\ndn: "), std::string::npos);
  // A child whose classes or writable attributes are unknown cannot be added.
  ldap::Entry bare = entry(kChildDn, {{"cn", {"Key"}}});
  const std::string withChild =
      restoreRecords({archivedAccount(), bare}, {deletedObject("CN=PC1\\0ADEL:1,DC=t")}, false);
  EXPECT_NE(withChild.find("# CN=Key,CN=PC1,OU=Old,DC=t: its classes were not readable"),
            std::string::npos);
}

TEST(ReanimationTest, GuidsReadInTheirUsualForm) {
  EXPECT_EQ(guidText(std::string_view(kGuid, 16)), "00112233-4455-6677-8899-aabbccddeeff");
  EXPECT_EQ(guidText("short"), "");
  EXPECT_EQ(archivedGuid({entry(kAccountDn, {{"objectGUID", {std::string(kGuid, 16)}}})}),
            "00112233-4455-6677-8899-aabbccddeeff");
}

}  // namespace
}  // namespace tavrel
