// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_TESTS_SUPPORT_LDAP_CONTRACT_CHECKS_H_
#define TAVREL_TESTS_SUPPORT_LDAP_CONTRACT_CHECKS_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "directory/ldap_client.h"

namespace tavrel::testing {

/// The cases of the adapter contract (directory/ldap_client.h) where the platforms' own
/// libraries behave differently, checked the same way on both builds: the libldap adapter's
/// integration tests run them against slapd, the wldap32 adapter's tests under wine. The
/// connection is bound and may read `base`, whose subtree holds exactly `count` entries
/// matching `filter` (at least two), and nothing named `ou=Missing` below it.
inline void expectAdapterContract(ldap::Connection& connection, const std::string& base,
                                  const std::string& filter, size_t count) {
  const std::string missing = "ou=Missing," + base;
  const std::vector<ldap::Entry> stale(3, ldap::Entry{"cn=stale", {}, {}, {}});

  // Output vectors are cleared, then filled, on success and on failure alike.
  std::vector<ldap::Entry> entries = stale;
  ASSERT_EQ(connection.search(base, ldap::kScopeBase, "(objectClass=*)", entries), ldap::kSuccess);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_NE(entries[0].dn, "cn=stale");
  entries = stale;
  EXPECT_EQ(connection.search(missing, ldap::kScopeBase, "(objectClass=*)", entries), 0x20);
  EXPECT_TRUE(entries.empty());

  // A search for named attributes brings those only and the subtree's entries all; a read
  // of one entry no references; a failed search nothing.
  ldap::SearchRequest read;
  read.base = base;
  int references = -1;
  entries = stale;
  ASSERT_EQ(connection.searchExt(read, entries, references), ldap::kSuccess);
  EXPECT_EQ(entries.size(), 1u);
  EXPECT_EQ(references, 0);
  read.scope = ldap::kScopeSubtree;
  read.filter = filter;
  read.attributes = {"cn"};
  ASSERT_EQ(connection.searchExt(read, entries, references), ldap::kSuccess);
  EXPECT_EQ(entries.size(), count);
  for (const ldap::Entry& entry : entries) {
    ASSERT_EQ(entry.attributes.size(), 1u) << entry.dn;
    EXPECT_EQ(entry.attributes[0].name, "cn");
  }
  read.base = missing;
  entries = stale;
  EXPECT_EQ(connection.searchExt(read, entries, references), 0x20);
  EXPECT_TRUE(entries.empty());

  // A page holds that page's entries only; a failed page what came with it (here: nothing).
  ldap::PagedSearchRequest request;
  request.base = base;
  request.filter = filter;
  request.attributes = {"cn"};
  ldap::SearchInitResult started = connection.searchInitPage(request);
  ASSERT_NE(started.search, nullptr) << started.error;
  std::vector<ldap::Entry> page = stale;
  EXPECT_EQ(connection.getNextPage(*started.search, 30, 1, page), ldap::kSuccess);
  EXPECT_EQ(page.size(), 1u);
  connection.searchAbandonPage(*started.search);
  request.base = missing;
  started = connection.searchInitPage(request);
  ASSERT_NE(started.search, nullptr) << started.error;
  page = stale;
  EXPECT_EQ(connection.getNextPage(*started.search, 30, 10, page), 0x20);
  EXPECT_TRUE(page.empty());
  connection.searchAbandonPage(*started.search);

  // A time limit of 0 or below sends none, a page wait of 0 or below waits the operation
  // bound: every page arrives.
  request.base = base;
  const int limits[][2] = {{0, 0}, {-1, -1}, {0, -30}, {-5, 30}};
  for (const auto& [timeLimit, wait] : limits) {
    SCOPED_TRACE(::testing::Message() << "time limit " << timeLimit << ", wait " << wait);
    request.timeLimitSeconds = timeLimit;
    started = connection.searchInitPage(request);
    ASSERT_NE(started.search, nullptr) << started.error;
    size_t total = 0;
    int code = ldap::kSuccess;
    for (int guard = 0; guard < 100 && code == ldap::kSuccess; ++guard) {
      code = connection.getNextPage(*started.search, wait, 2, page);
      total += page.size();
    }
    EXPECT_EQ(code, ldap::kNoResultsReturned) << ldap::err2string(code);
    EXPECT_EQ(total, count);
    connection.searchAbandonPage(*started.search);
  }
}

}  // namespace tavrel::testing

#endif  // TAVREL_TESTS_SUPPORT_LDAP_CONTRACT_CHECKS_H_
