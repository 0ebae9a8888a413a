// SPDX-License-Identifier: Apache-2.0
#include "directory/ldap_client_win32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "support/ldap_contract_checks.h"

// The wldap32 adapter against a real slapd. tests/windows/layers_test.py starts the test
// directory, seeds the entries below and runs this binary under wine with the server's
// address in the environment; without it the server cases are skipped (that driver fails
// when they are). The program itself binds as the logged-on user; these tests bind simply
// as the directory's administrator through the native handle instead.

namespace tavrel::ldap {
namespace {

struct TestServer {
  std::string host;
  int port = 0;
  std::string adminDn;
  std::string password;
  std::string suffix;
};

std::optional<TestServer> testServer() {
  const char* port = std::getenv("TAVREL_TEST_LDAP_PORT");
  const char* adminDn = std::getenv("TAVREL_TEST_LDAP_ADMIN_DN");
  const char* password = std::getenv("TAVREL_TEST_LDAP_PASSWORD");
  const char* suffix = std::getenv("TAVREL_TEST_LDAP_SUFFIX");
  if (!port || !adminDn || !password || !suffix) return std::nullopt;
  return TestServer{"127.0.0.1", std::atoi(port), adminDn, password, suffix};
}

std::vector<std::string> values(const Entry& entry, const std::string& name) {
  for (const Attribute& attribute : entry.attributes) {
    if (_stricmp(attribute.name.c_str(), name.c_str()) == 0) return attribute.values;
  }
  return {};
}

class LdapClientWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = testServer();
    if (!server_) GTEST_SKIP() << "no test directory given (run tests/windows/layers_test.py)";
    InitResult opened = init(server_->host, server_->port);
    connection_ = std::move(opened.connection);
    ASSERT_NE(connection_, nullptr) << "ldap_init failed: " << opened.error;
    ASSERT_EQ(connection_->setOption(kOptProtocolVersion, 3), kSuccess);
    ASSERT_EQ(connection_->setOption(kOptReferrals, 0), kSuccess);
    ASSERT_EQ(
        ldap_simple_bind_sA(nativeHandle(*connection_), const_cast<PCHAR>(server_->adminDn.c_str()),
                            const_cast<PCHAR>(server_->password.c_str())),
        static_cast<ULONG>(LDAP_SUCCESS));
  }

  std::string dn(const std::string& relative) const { return relative + "," + server_->suffix; }

  // The entry at `dn`, or the search's result code when there is none.
  std::optional<Entry> read(const std::string& entryDn, int* code = nullptr) {
    std::vector<Entry> entries;
    int result = connection_->search(entryDn, kScopeBase, "(objectClass=*)", entries);
    if (code) *code = result;
    if (result != kSuccess || entries.size() != 1) return std::nullopt;
    return entries[0];
  }

  // Every page of a paged search; `pageSizes` receives the entry count of each page.
  std::vector<Entry> allPages(const PagedSearchRequest& request, int pageSize,
                              std::vector<size_t>* pageSizes, int* endCode) {
    SearchInitResult started = connection_->searchInitPage(request);
    std::unique_ptr<PagedSearch>& search = started.search;
    EXPECT_NE(search, nullptr) << "ldap_search_init_page failed: " << started.error;
    std::vector<Entry> all;
    if (!search) return all;
    for (int guard = 0; guard < 100; ++guard) {
      std::vector<Entry> page;
      int code = connection_->getNextPage(*search, 30, pageSize, page);
      if (code != kSuccess) {
        *endCode = code;
        break;
      }
      pageSizes->push_back(page.size());
      all.insert(all.end(), page.begin(), page.end());
    }
    connection_->searchAbandonPage(*search);
    return all;
  }

  std::optional<TestServer> server_;
  std::unique_ptr<Connection> connection_;
};

TEST_F(LdapClientWin32Test, ReadsTheRootEntryWithoutABase) {
  std::vector<Entry> entries;
  ASSERT_EQ(connection_->search("", kScopeBase, "(objectClass=*)", entries), kSuccess);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(values(entries[0], "defaultNamingContext"),
            std::vector<std::string>{"DC=tavrel,DC=test"});
  EXPECT_EQ(values(entries[0], "dNSHostName"), std::vector<std::string>{"dc1.tavrel.test"});
}

TEST_F(LdapClientWin32Test, PagedSearchComesSortedPageByPage) {
  struct Case {
    std::string attribute;
    bool reverse;
    std::vector<std::string> names;
    int endCode;
  };
  // The entries were added in the order S3 S1 S5 S2 S4, with pwdLastSet 10 days ago for S1 up
  // to 50 days ago for S5: only the server's sort gives these orders.
  const Case cases[] = {
      {"pwdLastSet", false, {"S5", "S4", "S3", "S2", "S1"}, kNoResultsReturned},
      {"pwdLastSet", true, {"S1", "S2", "S3", "S4", "S5"}, kNoResultsReturned},
      // The test server has no ordering rule for cn and says so: proof that the key is sent.
      {"cn", false, {}, LDAP_INAPPROPRIATE_MATCHING},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attribute + (c.reverse ? " descending" : " ascending"));
    PagedSearchRequest request;
    request.base = dn("ou=Sorted");
    request.scope = kScopeSubtree;
    request.filter = "(objectCategory=computer)";
    request.attributes = {"cn", "pwdLastSet"};
    request.timeLimitSeconds = 30;
    request.sortKey = SortKey{c.attribute, c.reverse};
    std::vector<size_t> pageSizes;
    int endCode = -1;
    std::vector<Entry> entries = allPages(request, 2, &pageSizes, &endCode);
    std::vector<std::string> names;
    for (const Entry& entry : entries) {
      std::vector<std::string> cn = values(entry, "cn");
      names.push_back(cn.empty() ? "?" : cn[0]);
      // Only the requested attributes come back.
      EXPECT_EQ(entry.attributes.size(), 2u) << entry.dn;
    }
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(endCode, c.endCode);
    if (c.names.empty()) continue;
    EXPECT_EQ(pageSizes, (std::vector<size_t>{2, 2, 1}));
    EXPECT_EQ(entries[0].dn, dn("cn=" + c.names[0] + ",ou=Sorted"));
  }
}

TEST_F(LdapClientWin32Test, PagedSearchWithoutSortKeyAndOneLevel) {
  PagedSearchRequest request;
  request.base = server_->suffix;
  request.scope = kScopeOneLevel;
  request.filter = "(ou=Sorted)";
  request.attributes = {"ou"};
  std::vector<size_t> pageSizes;
  int endCode = -1;
  std::vector<Entry> entries = allPages(request, 100, &pageSizes, &endCode);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(values(entries[0], "ou"), std::vector<std::string>{"Sorted"});
  EXPECT_EQ(endCode, kNoResultsReturned);
}

TEST_F(LdapClientWin32Test, AnsiTextReachesTheServerAsUnicodeAndBack) {
  // "Müller" in the ANSI code page (1252): one byte for the umlaut. The server holds UTF-8.
  const std::string ansiName = "M\xFCller";
  PagedSearchRequest request;
  request.base = dn("ou=Sorted");
  request.filter = "(description=" + ansiName + ")";
  request.attributes = {"description"};
  std::vector<size_t> pageSizes;
  int endCode = -1;
  std::vector<Entry> entries = allPages(request, 10, &pageSizes, &endCode);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].dn, dn("cn=S2,ou=Sorted"));
  EXPECT_EQ(values(entries[0], "description"), std::vector<std::string>{ansiName});
}

TEST_F(LdapClientWin32Test, AbandonedSearchGivesNoFurtherPages) {
  PagedSearchRequest request;
  request.base = dn("ou=Sorted");
  request.filter = "(objectCategory=computer)";
  request.attributes = {"cn"};
  std::unique_ptr<PagedSearch> search = connection_->searchInitPage(request).search;
  ASSERT_NE(search, nullptr);
  std::vector<Entry> page;
  ASSERT_EQ(connection_->getNextPage(*search, 30, 1, page), kSuccess);
  EXPECT_EQ(page.size(), 1u);
  EXPECT_EQ(connection_->searchAbandonPage(*search), kSuccess);
  EXPECT_NE(connection_->getNextPage(*search, 30, 1, page), kSuccess);
  EXPECT_TRUE(page.empty());
}

TEST_F(LdapClientWin32Test, KeepsTheAdapterContract) {
  testing::expectAdapterContract(*connection_, dn("ou=Sorted"), "(objectCategory=computer)", 5);
}

TEST_F(LdapClientWin32Test, ModifyReplacesTheValue) {
  const std::string target = dn("cn=M1,ou=Writes");
  ASSERT_EQ(connection_->modifyReplace(target, "userAccountControl", "4098"), kSuccess);
  ASSERT_EQ(connection_->modifyReplace(target, "accountExpires", "132000000000000000"), kSuccess);
  std::optional<Entry> entry = read(target);
  ASSERT_TRUE(entry);
  EXPECT_EQ(values(*entry, "userAccountControl"), std::vector<std::string>{"4098"});
  EXPECT_EQ(values(*entry, "accountExpires"), std::vector<std::string>{"132000000000000000"});
  EXPECT_EQ(connection_->modifyReplace(dn("cn=Missing,ou=Writes"), "userAccountControl", "2"),
            LDAP_NO_SUCH_OBJECT);
}

TEST_F(LdapClientWin32Test, DeleteSendsTheTreeDeleteControlAsCritical) {
  const std::string target = dn("cn=D1,ou=Writes");
  // slapd does not implement tree delete: a critical control must make it refuse.
  EXPECT_EQ(connection_->deleteExt(target, {Control{std::string(kTreeDeleteOid), true, {}}}),
            LDAP_UNAVAILABLE_CRIT_EXTENSION);
  EXPECT_TRUE(read(target));
  // A non-critical one is ignored, so the leaf goes.
  EXPECT_EQ(connection_->deleteExt(target, {Control{std::string(kTreeDeleteOid), false, {}}}),
            kSuccess);
  int code = 0;
  EXPECT_FALSE(read(target, &code));
  EXPECT_EQ(code, LDAP_NO_SUCH_OBJECT);
  EXPECT_EQ(connection_->deleteExt(target, {}), LDAP_NO_SUCH_OBJECT);
}

TEST_F(LdapClientWin32Test, RenameMovesToTheNewParent) {
  const std::string from = dn("cn=R1,ou=Writes");
  const std::string to = dn("cn=R1,ou=Moved");
  ASSERT_EQ(connection_->renameExt(from, "cn=R1", dn("ou=Moved"), true), kSuccess);
  EXPECT_FALSE(read(from));
  std::optional<Entry> moved = read(to);
  ASSERT_TRUE(moved);
  EXPECT_EQ(values(*moved, "cn"), std::vector<std::string>{"R1"});
  EXPECT_EQ(connection_->renameExt(to, "cn=R1", dn("ou=Nowhere"), true), LDAP_NO_SUCH_OBJECT);
}

TEST_F(LdapClientWin32Test, CallsAfterUnbindFailWithoutTouchingTheSession) {
  PagedSearchRequest request;
  request.base = dn("ou=Sorted");
  request.filter = "(objectClass=*)";
  std::unique_ptr<PagedSearch> search = connection_->searchInitPage(request).search;
  ASSERT_NE(search, nullptr);
  connection_->unbind();
  std::vector<Entry> entries;
  EXPECT_EQ(connection_->search("", kScopeBase, "(objectClass=*)", entries), kServerDown);
  EXPECT_EQ(connection_->getNextPage(*search, 30, 10, entries), kServerDown);
  EXPECT_EQ(connection_->modifyReplace(dn("cn=M1,ou=Writes"), "description", "x"), kServerDown);
  SearchInitResult notStarted = connection_->searchInitPage(request);
  EXPECT_EQ(notStarted.search, nullptr);
  EXPECT_NE(notStarted.error, 0);
  search.reset();  // must not use the closed session
}

TEST(LdapClientWin32, SilentServerGivesTheTimeOutCode) {
  // A listener that accepts connections and never answers (started by the driver).
  const char* port = std::getenv("TAVREL_TEST_SILENT_PORT");
  if (port == nullptr) GTEST_SKIP() << "no silent server given (run tests/windows/layers_test.py)";
  setTimeouts(1, 1);
  setWriteTimeout(1);
  std::unique_ptr<Connection> connection =
      init(std::string("127.0.0.1"), std::atoi(port)).connection;
  ASSERT_NE(connection, nullptr);
  const auto started = std::chrono::steady_clock::now();
  std::vector<Entry> entries;
  EXPECT_EQ(connection->search("", kScopeBase, "(objectClass=*)", entries), LDAP_TIMEOUT);
  EXPECT_EQ(connection->modifyReplace("cn=PC1,dc=x", "userAccountControl", "4098"), LDAP_TIMEOUT);
  EXPECT_EQ(connection->deleteExt("cn=PC1,dc=x", {Control{std::string(kTreeDeleteOid), true, {}}}),
            LDAP_TIMEOUT);
  EXPECT_EQ(connection->renameExt("cn=PC1,dc=x", "cn=PC1", "ou=Old,dc=x", true), LDAP_TIMEOUT);
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_LT(waited, std::chrono::seconds(30));
  EXPECT_GE(waited, std::chrono::seconds(3));
  setTimeouts(10, 120);
  setWriteTimeout(120);
}

// Needs no server.

TEST(LdapClientWin32, ExplodeDnKeepsTypesAndEscapes) {
  struct Case {
    std::string dn;
    std::vector<std::string> parts;
  };
  const Case cases[] = {
      {"CN=PC1,OU=Stale,DC=tavrel,DC=test", {"CN=PC1", "OU=Stale", "DC=tavrel", "DC=test"}},
      {"CN=PC1", {"CN=PC1"}},
      {"cn=Caf\\C3\\A9,ou=Users", {"cn=Caf\\C3\\A9", "ou=Users"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(explodeDn(c.dn), c.parts) << c.dn;
  }
  // An escaped comma stays inside its RDN. Windows keeps "\,", wine's library rewrites it
  // as "\2C"; the server takes either as the same RDN.
  std::vector<std::string> escaped = explodeDn("cn=Smith\\, John,ou=Users");
  ASSERT_EQ(escaped.size(), 2u);
  EXPECT_TRUE(escaped[0] == "cn=Smith\\, John" || escaped[0] == "cn=Smith\\2C John") << escaped[0];
  EXPECT_EQ(escaped[1], "ou=Users");
}

TEST(LdapClientWin32, ErrorTextsDifferPerCode) {
  std::string success = err2string(kSuccess);
  std::string serverDown = err2string(kServerDown);
  std::string noSuchObject = err2string(LDAP_NO_SUCH_OBJECT);
  EXPECT_FALSE(success.empty());
  EXPECT_FALSE(serverDown.empty());
  EXPECT_NE(success, serverDown);
  EXPECT_NE(serverDown, noSuchObject);
}

TEST(LdapClientWin32, UnreachableServerGivesServerDown) {
  // Port 1 on loopback: nothing listens there.
  std::unique_ptr<Connection> connection = init(std::string("127.0.0.1"), 1).connection;
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(connection->setOption(kOptProtocolVersion, 3), kSuccess);
  EXPECT_EQ(ldap_simple_bind_sA(nativeHandle(*connection), nullptr, nullptr),
            static_cast<ULONG>(LDAP_SERVER_DOWN));
  std::vector<Entry> entries;
  EXPECT_EQ(connection->search("", kScopeBase, "(objectClass=*)", entries), kServerDown);
  EXPECT_TRUE(entries.empty());
}

}  // namespace
}  // namespace tavrel::ldap
