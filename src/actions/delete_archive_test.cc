// SPDX-License-Identifier: Apache-2.0
#include "actions/delete_archive.h"

#include <gtest/gtest.h>

#include <utility>

namespace tavrel {
namespace {

ldap::Entry object(const std::string& dn, std::vector<ldap::Attribute> attributes) {
  ldap::Entry entry;
  entry.dn = dn;
  entry.attributes = std::move(attributes);
  return entry;
}

TEST(DeleteArchiveTest, ArchivesEveryValueAndFindsUnreadableKeys) {
  const std::string key = "CN=Key,CN=PC1,DC=x";
  const std::string hidden = "CN=Hidden,CN=PC1,DC=x";
  const std::vector<ldap::Entry> entries = {
      object("CN=PC1,DC=x", {{"objectClass", {"top", "computer"}},
                             {"objectGUID", {std::string("\x01\x00\xff", 3)}},
                             {"nTSecurityDescriptor", {"sd"}},
                             {"ms-Mcs-AdmPwd", {"s3cret"}},
                             {"bad\nname", {"x"}}}),
      object(key, {{"objectClass", {"top", "msFVE-RecoveryInformation"}},
                   {"msFVE-RecoveryPassword", {"111111-222222"}}}),
      object(hidden, {{"objectClass", {"top", "msFVE-RecoveryInformation"}}}),
  };
  const ArchiveKeys keys = recoveryKeys(entries);
  EXPECT_EQ(keys.archived, 1);
  EXPECT_EQ(keys.unreadable, std::vector<std::string>{hidden});

  EXPECT_EQ(archiveText(entries, keys.unreadable),
            "# Archive of the subtree as read before the delete\n"
            "# 3 object(s), parents first:\n"
            "#\n"
            "#   dn: CN=PC1,DC=x\n"
            "#   objectClass: top\n"
            "#   objectClass: computer\n"
            "#   objectGUID:: AQD/\n"
            "#   ms-Mcs-AdmPwd: s3cret\n"
            "#   bad?name: x\n"
            "#\n"
            "#   dn: CN=Key,CN=PC1,DC=x\n"
            "#   objectClass: top\n"
            "#   objectClass: msFVE-RecoveryInformation\n"
            "#   msFVE-RecoveryPassword: 111111-222222\n"
            "#\n"
            "#   dn: CN=Hidden,CN=PC1,DC=x\n"
            "#   objectClass: top\n"
            "#   objectClass: msFVE-RecoveryInformation\n"
            "#   (msFVE-RecoveryPassword not readable: the key was not archived)\n");
}

}  // namespace
}  // namespace tavrel
