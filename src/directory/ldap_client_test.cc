// SPDX-License-Identifier: Apache-2.0
// The LDAP client adapter against a real slapd (tests/fixtures/slapd), plus the parts that
// need no server: result-code texts and DN splitting.

#include "directory/ldap_client.h"

#include <gtest/gtest.h>
#include <ldap.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/console.h"
#include "support/ldap_contract_checks.h"
#include "support/slapd_server.h"

namespace tavrel::ldap {
namespace {

using testing::SlapdServer;

std::string computerLdif(const std::string& name, const std::string& parent, int uac,
                         const std::string& extra = "") {
  return "dn: cn=" + name + "," + parent +
         "\nobjectClass: top\nobjectClass: person\nobjectClass: organizationalPerson\n"
         "objectClass: user\nobjectClass: computer\ncn: " +
         name + "\nsn: " + name + "\nobjectCategory: computer\nsAMAccountName: " + name +
         "$\nuserAccountControl: " + std::to_string(uac) + "\n" + extra + "\n";
}

std::string ouLdif(const std::string& name) {
  return "dn: ou=" + name + ",dc=tavrel,dc=test\nobjectClass: organizationalUnit\nou: " + name +
         "\n\n";
}

const std::vector<std::string>* valuesOf(const Entry& entry, const std::string& name) {
  for (const Attribute& attribute : entry.attributes) {
    if (attribute.name == name) return &attribute.values;
  }
  return nullptr;
}

std::string firstValue(const Entry& entry, const std::string& name) {
  const auto* values = valuesOf(entry, name);
  return values && !values->empty() ? values->front() : "";
}

TEST(LdapErrorTextTest, ClientCodesAreShownAsTheWindowsClientNumbersThem) {
  struct Case {
    int code;
    int libraryCode;
  };
  const Case cases[] = {
      {0x00, LDAP_SUCCESS},
      {0x20, LDAP_NO_SUCH_OBJECT},
      {0x32, LDAP_INSUFFICIENT_ACCESS},
      {0x50, LDAP_OTHER},
      {0x51, LDAP_SERVER_DOWN},
      {0x52, LDAP_LOCAL_ERROR},
      {0x55, LDAP_TIMEOUT},
      {0x56, LDAP_AUTH_UNKNOWN},
      {0x57, LDAP_FILTER_ERROR},
      {0x59, LDAP_PARAM_ERROR},
      {0x5B, LDAP_CONNECT_ERROR},
      {0x5E, LDAP_NO_RESULTS_RETURNED},
      {0x61, LDAP_REFERRAL_LIMIT_EXCEEDED},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(err2string(c.code), ldap_err2string(c.libraryCode)) << c.code;
  }
  EXPECT_EQ(kServerDown, 80 - LDAP_SERVER_DOWN);
  EXPECT_EQ(kNoResultsReturned, 80 - LDAP_NO_RESULTS_RETURNED);
  EXPECT_EQ(kFilterError, 80 - LDAP_FILTER_ERROR);
  EXPECT_EQ(err2string(kServerDown), "Can't contact LDAP server");
}

TEST(ExplodeDnTest, SplitsIntoComponentsAsWritten) {
  struct Case {
    const char* dn;
    std::vector<std::string> parts;
  };
  const Case cases[] = {
      {"CN=PC1,OU=Test,DC=tavrel,DC=test", {"CN=PC1", "OU=Test", "DC=tavrel", "DC=test"}},
      {"cn=pc1,ou=test,dc=x", {"cn=pc1", "ou=test", "dc=x"}},
      {"cn=Smith\\, John,cn=Users,dc=x", {"cn=Smith\\, John", "cn=Users", "dc=x"}},
      {"cn=a\\2Cb,dc=x", {"cn=a\\2Cb", "dc=x"}},
      {"CN=PC1, OU=Test", {"CN=PC1", "OU=Test"}},
      {"cn=pc1+sn=x,dc=x", {"cn=pc1+sn=x", "dc=x"}},
      {"dc=x", {"dc=x"}},
      {"", {}},
      {"no equals sign", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(explodeDn(c.dn), c.parts) << c.dn;
}

TEST(InitTest, UnusableHostTextsFailWithAReason) {
  InitResult unparsable = init(std::string("ldap://[::1"), 389);
  EXPECT_EQ(unparsable.connection, nullptr);
  EXPECT_NE(unparsable.error, 0);
  EXPECT_NE(err2string(unparsable.error), "");
  // Ports the user did not mean are refused before anything is sent.
  struct Case {
    const char* host;
    int port;
  };
  const Case refused[] = {
      {"127.0.0.1:70000", 70000},
      {"127.0.0.1:12x", 12},
      {"127.0.0.1:0", 389},
      {"127.0.0.1", 0},
      {"127.0.0.1:123456", 12345},
      {"ldap://127.0.0.1:99999/", 389},
      {"127.0.0.1:1 127.0.0.1:65536", 1},
  };
  for (const Case& c : refused) {
    InitResult refusal = init(std::string(c.host), c.port);
    EXPECT_EQ(refusal.connection, nullptr) << c.host;
    EXPECT_EQ(refusal.error, 0x59) << c.host;
  }
  // Creating a session sends nothing yet; these are all usable.
  const Case accepted[] = {
      {"127.0.0.1:", 389}, {"127.0.0.1:65535", 65535},   {"::1", 389},
      {"[::1]:389", 389},  {"ldapi://%2Ftmp%2Fx/", 389}, {"ldaps://127.0.0.1:636", 389},
  };
  for (const Case& c : accepted) {
    InitResult opened = init(std::string(c.host), c.port);
    EXPECT_NE(opened.connection, nullptr) << c.host;
    EXPECT_EQ(opened.error, 0) << c.host;
  }
}

class LdapClientTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string ldif = ouLdif("Fleet") + ouLdif("Target") + ouLdif("Moves");
    for (int i = 0; i < 25; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "PC%02d", i);
      ldif += computerLdif(name, "ou=Fleet,dc=tavrel,dc=test", i % 5 == 0 ? 532480 : 4096,
                           "operatingSystemVersion: 5." + std::to_string(i % 3) + "\n");
    }
    // A referral below the fleet: a subtree search meets it as a search reference.
    ldif +=
        "dn: cn=Elsewhere,ou=Fleet,dc=tavrel,dc=test\nobjectClass: referral\n"
        "objectClass: extensibleObject\ncn: Elsewhere\n"
        "ref: ldap://127.0.0.1:1/ou=Fleet,dc=other\n\n";
    ldif += computerLdif("LOCKED1", SlapdServer::kReadOnlyDn, 4096);
    server_ = new SlapdServer("w2003-l2", ldif);
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(server_->started()); }

  static std::unique_ptr<Connection> bound() {
    auto connection = init(server_->ldapiUri(), 389).connection;
    EXPECT_NE(connection, nullptr);
    if (!connection) return connection;
    EXPECT_EQ(connection->setOption(kOptProtocolVersion, 3), kSuccess);
    EXPECT_EQ(connection->bind(kAuthNegotiate), kSuccess);
    return connection;
  }

  static std::vector<std::vector<Entry>> allPages(Connection& connection,
                                                  const PagedSearchRequest& request, int pageSize,
                                                  int* endCode) {
    std::vector<std::vector<Entry>> pages;
    auto search = connection.searchInitPage(request).search;
    EXPECT_NE(search, nullptr);
    if (!search) return pages;
    for (int guard = 0; guard < 100; ++guard) {
      std::vector<Entry> page;
      int code = connection.getNextPage(*search, 30, pageSize, page);
      if (code != kSuccess) {
        *endCode = code;
        break;
      }
      pages.push_back(page);
    }
    connection.searchAbandonPage(*search);
    return pages;
  }

  static SlapdServer* server_;
};

SlapdServer* LdapClientTest::server_ = nullptr;

TEST_F(LdapClientTest, NegotiatedBindOverLdapiReadsTheRootEntry) {
  auto connection = bound();
  ASSERT_NE(connection, nullptr);
  std::vector<Entry> entries;
  ASSERT_EQ(connection->search("", kScopeBase, "(objectClass=*)", entries), kSuccess);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].dn, "");
  EXPECT_EQ(firstValue(entries[0], "defaultNamingContext"), "DC=tavrel,DC=test");
  EXPECT_EQ(firstValue(entries[0], "dNSHostName"), "dc1.tavrel.test");
  ASSERT_NE(valuesOf(entries[0], "supportedCapabilities"), nullptr);
  EXPECT_EQ(valuesOf(entries[0], "supportedCapabilities")->size(), 3u);
}

TEST_F(LdapClientTest, HostTextsReachTheServerAtTheirPort) {
  // Over TCP the tester has no identity to offer, so the bind itself is refused; what counts
  // here is that the server answered rather than "can't contact" (0x51).
  const std::string port = std::to_string(server_->port());
  struct Case {
    std::string host;
    int port;
  };
  const Case cases[] = {
      {"127.0.0.1:" + port, server_->port()},
      {"127.0.0.1", server_->port()},
      {"ldap://127.0.0.1:" + port, 389},
      {"LDAP://127.0.0.1:" + port + "/", 389},
      {"127.0.0.1:1 127.0.0.1:" + port, server_->port()},
  };
  for (const Case& c : cases) {
    auto connection = init(c.host, c.port).connection;
    ASSERT_NE(connection, nullptr) << c.host;
    int code = connection->bind(kAuthNegotiate);
    EXPECT_NE(code, kServerDown) << c.host;
    EXPECT_NE(code, kSuccess) << c.host;
  }
  auto nobody = init(std::string("127.0.0.1:1"), 1).connection;
  ASSERT_NE(nobody, nullptr);
  EXPECT_EQ(nobody->bind(kAuthNegotiate), kServerDown);
}

TEST_F(LdapClientTest, PagedSearchDeliversEveryPageThenNoResults) {
  auto connection = bound();
  ASSERT_NE(connection, nullptr);
  ASSERT_EQ(connection->setOption(kOptReferrals, 0), kSuccess);
  PagedSearchRequest request;
  request.base = "ou=Fleet,dc=tavrel,dc=test";
  request.filter = "(objectcategory=computer)";
  request.attributes = {"cn", "sAMAccountName", "DN", "pwage"};
  request.timeLimitSeconds = 30;
  int endCode = -1;
  auto pages = allPages(*connection, request, 10, &endCode);
  EXPECT_EQ(endCode, kNoResultsReturned);
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].size(), 10u);
  EXPECT_EQ(pages[1].size(), 10u);
  EXPECT_EQ(pages[2].size(), 5u);
  // Only what was asked for, and nothing for names the directory does not know.
  for (const Attribute& attribute : pages[0][0].attributes) {
    EXPECT_TRUE(attribute.name == "cn" || attribute.name == "sAMAccountName") << attribute.name;
  }
}

TEST_F(LdapClientTest, SortKeyAndBareNegationTravelInTheSameRequest) {
  auto connection = bound();
  ASSERT_NE(connection, nullptr);
  ASSERT_EQ(connection->setOption(kOptReferrals, 0), kSuccess);
  PagedSearchRequest request;
  request.base = "ou=Fleet,dc=tavrel,dc=test";
  request.filter = "(&(objectcategory=computer)(!useraccountcontrol:1.2.840.113556.1.4.803:=8192))";
  request.attributes = {"sAMAccountName"};
  request.sortKey = SortKey{"sAMAccountName", true};
  int endCode = -1;
  auto pages = allPages(*connection, request, 7, &endCode);
  EXPECT_EQ(endCode, kNoResultsReturned);
  std::vector<std::string> names;
  for (const auto& page : pages) {
    for (const Entry& entry : page) names.push_back(firstValue(entry, "sAMAccountName"));
  }
  // 25 computers, every fifth a domain controller: 20 left, in descending name order.
  ASSERT_EQ(names.size(), 20u);
  EXPECT_EQ(names.front(), "PC24$");
  EXPECT_EQ(names[1], "PC23$");
  EXPECT_EQ(names.back(), "PC01$");
  EXPECT_TRUE(std::is_sorted(names.rbegin(), names.rend()));
}

TEST_F(LdapClientTest, PageErrorsComeBackAsResultCodes) {
  auto connection = bound();
  ASSERT_NE(connection, nullptr);
  struct Case {
    std::string base;
    std::string filter;
    std::optional<SortKey> sortKey;
    int code;
  };
  const Case cases[] = {
      {"ou=Fleet,dc=tavrel,dc=test", "(objectcategory=computer", std::nullopt, kFilterError},
      {"ou=Missing,dc=tavrel,dc=test", "(objectclass=*)", std::nullopt, LDAP_NO_SUCH_OBJECT},
      // slapd's sort refuses attributes without an ordering rule, critical or not.
      {"ou=Fleet,dc=tavrel,dc=test", "(cn=*)", SortKey{"description", false},
       LDAP_INAPPROPRIATE_MATCHING},
  };
  for (const Case& c : cases) {
    PagedSearchRequest request;
    request.base = c.base;
    request.filter = c.filter;
    request.attributes = {"cn"};
    request.sortKey = c.sortKey;
    int endCode = -1;
    auto pages = allPages(*connection, request, 10, &endCode);
    EXPECT_TRUE(pages.empty()) << c.filter;
    EXPECT_EQ(endCode, c.code) << c.base << " " << c.filter;
  }
  // The session survives failed searches.
  std::vector<Entry> entries;
  EXPECT_EQ(connection->search("", kScopeBase, "(objectClass=*)", entries), kSuccess);
}

TEST_F(LdapClientTest, SearchReferencesAreNotEntries) {
  // With chasing on, the reference points at a port where nobody listens: it is reported and
  // costs nothing else.
  for (int chase : {0, 1}) {
    SCOPED_TRACE(chase);
    console::Capture capture;
    auto connection = bound();
    ASSERT_NE(connection, nullptr);
    ASSERT_EQ(connection->setOption(kOptReferrals, chase), kSuccess);
    PagedSearchRequest request;
    request.base = "ou=Fleet,dc=tavrel,dc=test";
    request.filter = "(objectclass=*)";
    request.attributes = {"cn"};
    int endCode = -1;
    auto pages = allPages(*connection, request, 100, &endCode);
    EXPECT_EQ(endCode, kNoResultsReturned);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].size(), 26u);  // the OU and its 25 computers
    for (const Entry& entry : pages[0]) {
      EXPECT_NE(entry.dn.find("ou=Fleet"), std::string::npos);
    }
    EXPECT_EQ(capture.err(), chase ? "WARN: Referral not followed: [ldap://127.0.0.1:1/"
                                     "ou=Fleet,dc=other??sub] Error 0x51 (81) - Can't "
                                     "contact LDAP server\n"
                                   : "");
  }
}

TEST_F(LdapClientTest, AbandonEndsThePagedSearch) {
  auto connection = bound();
  ASSERT_NE(connection, nullptr);
  ASSERT_EQ(connection->setOption(kOptReferrals, 0), kSuccess);
  PagedSearchRequest request;
  request.base = "ou=Fleet,dc=tavrel,dc=test";
  request.filter = "(objectcategory=computer)";
  request.attributes = {"cn"};
  auto search = connection->searchInitPage(request).search;
  ASSERT_NE(search, nullptr);
  std::vector<Entry> page;
  ASSERT_EQ(connection->getNextPage(*search, 30, 5, page), kSuccess);
  EXPECT_EQ(page.size(), 5u);
  EXPECT_EQ(connection->searchAbandonPage(*search), kSuccess);
  EXPECT_EQ(connection->getNextPage(*search, 30, 5, page), kNoResultsReturned);
  EXPECT_TRUE(page.empty());
  std::vector<Entry> entries;
  EXPECT_EQ(connection->search("", kScopeBase, "(objectClass=*)", entries), kSuccess);
}

TEST_F(LdapClientTest, KeepsTheAdapterContract) {
  auto connection = bound();
  ASSERT_NE(connection, nullptr);
  ASSERT_EQ(connection->setOption(kOptReferrals, 0), kSuccess);
  testing::expectAdapterContract(*connection, "ou=Fleet,dc=tavrel,dc=test",
                                 "(objectcategory=computer)", 25);
}

TEST_F(LdapClientTest, ModifyReplaceWritesOneValue) {
  server_->add(
      computerLdif("MOD1", SlapdServer::kComputers, 4096, "description: one\ndescription: two\n"));
  auto connection = bound();
  ASSERT_NE(connection, nullptr);
  const std::string dn = std::string("cn=MOD1,") + SlapdServer::kComputers;
  EXPECT_EQ(connection->modifyReplace(dn, "userAccountControl", "4098"), kSuccess);
  EXPECT_EQ(connection->modifyReplace(dn, "description", "only"), kSuccess);
  std::string entry = server_->entry(dn);
  EXPECT_NE(entry.find("userAccountControl: 4098\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("description: only\n"), std::string::npos) << entry;
  EXPECT_EQ(entry.find("description: one"), std::string::npos) << entry;

  std::string before = server_->dump();
  struct Case {
    std::string dn;
    std::string attribute;
    std::string value;
    int code;
  };
  const Case refused[] = {
      {std::string("cn=LOCKED1,") + SlapdServer::kReadOnlyDn, "userAccountControl", "4098",
       LDAP_INSUFFICIENT_ACCESS},
      {std::string("cn=NOSUCH,") + SlapdServer::kComputers, "userAccountControl", "4098",
       LDAP_NO_SUCH_OBJECT},
      {dn, "userAccountControl", "not a number", LDAP_INVALID_SYNTAX},
      {dn, "noSuchAttribute", "x", LDAP_UNDEFINED_TYPE},
  };
  for (const Case& c : refused) {
    EXPECT_EQ(connection->modifyReplace(c.dn, c.attribute, c.value), c.code) << c.dn;
  }
  EXPECT_EQ(server_->dump(), before);
}

TEST_F(LdapClientTest, DeleteSendsTheGivenControls) {
  server_->add(ouLdif("Doomed") + computerLdif("LEAF1", "ou=Doomed,dc=tavrel,dc=test", 4096) +
               computerLdif("LEAF2", "ou=Doomed,dc=tavrel,dc=test", 4096));
  auto connection = bound();
  ASSERT_NE(connection, nullptr);
  const std::vector<Control> treeDelete = {{std::string(kTreeDeleteOid), true, {}}};
  const std::vector<Control> lenientTreeDelete = {{std::string(kTreeDeleteOid), false, {}}};
  std::string before = server_->dump();
  // slapd does not know the tree-delete control: critical, it refuses even on a leaf.
  EXPECT_EQ(connection->deleteExt("cn=LEAF1,ou=Doomed,dc=tavrel,dc=test", treeDelete),
            LDAP_UNAVAILABLE_CRITICAL_EXTENSION);
  EXPECT_EQ(connection->deleteExt("ou=Doomed,dc=tavrel,dc=test", {}), LDAP_NOT_ALLOWED_ON_NONLEAF);
  EXPECT_EQ(connection->deleteExt(std::string("cn=LOCKED1,") + SlapdServer::kReadOnlyDn, {}),
            LDAP_INSUFFICIENT_ACCESS);
  EXPECT_EQ(connection->deleteExt("cn=NOSUCH,ou=Doomed,dc=tavrel,dc=test", {}),
            LDAP_NO_SUCH_OBJECT);
  EXPECT_EQ(server_->dump(), before);
  EXPECT_EQ(connection->deleteExt("cn=LEAF1,ou=Doomed,dc=tavrel,dc=test", {}), kSuccess);
  EXPECT_EQ(connection->deleteExt("cn=LEAF2,ou=Doomed,dc=tavrel,dc=test", lenientTreeDelete),
            kSuccess);
  EXPECT_EQ(server_->entry("cn=LEAF1,ou=Doomed,dc=tavrel,dc=test"), "");
  EXPECT_EQ(server_->entry("cn=LEAF2,ou=Doomed,dc=tavrel,dc=test"), "");
}

TEST_F(LdapClientTest, RenameMovesUnderTheNewParent) {
  server_->add(computerLdif("MOVER", "ou=Moves,dc=tavrel,dc=test", 4096));
  auto connection = bound();
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(connection->renameExt("cn=MOVER,ou=Moves,dc=tavrel,dc=test", "cn=mover",
                                  "ou=Target,dc=tavrel,dc=test", true),
            kSuccess);
  EXPECT_EQ(server_->entry("cn=MOVER,ou=Moves,dc=tavrel,dc=test"), "");
  std::string moved = server_->entry("cn=mover,ou=Target,dc=tavrel,dc=test");
  EXPECT_NE(moved.find("dn: cn=mover,ou=Target,dc=tavrel,dc=test\n"), std::string::npos) << moved;
  // Delete-old-RDN: the old spelling is not kept as a second value.
  EXPECT_NE(moved.find("cn: mover\n"), std::string::npos) << moved;
  EXPECT_EQ(moved.find("cn: MOVER\n"), std::string::npos) << moved;

  std::string before = server_->dump();
  EXPECT_EQ(connection->renameExt("cn=mover,ou=Target,dc=tavrel,dc=test", "cn=mover",
                                  "ou=Nowhere,dc=tavrel,dc=test", true),
            LDAP_NO_SUCH_OBJECT);
  EXPECT_EQ(connection->renameExt("cn=mover,ou=Target,dc=tavrel,dc=test", "cn=mover",
                                  SlapdServer::kReadOnlyDn, true),
            LDAP_INSUFFICIENT_ACCESS);
  EXPECT_EQ(server_->dump(), before);
}

TEST_F(LdapClientTest, ClosedSessionFailsEveryCall) {
  auto connection = bound();
  ASSERT_NE(connection, nullptr);
  connection->unbind();
  std::vector<Entry> entries;
  EXPECT_EQ(connection->search("", kScopeBase, "(objectClass=*)", entries), kServerDown);
  EXPECT_EQ(connection->bind(kAuthNegotiate), kServerDown);
  EXPECT_EQ(connection->modifyReplace("cn=x,dc=tavrel,dc=test", "cn", "x"), kServerDown);
  SearchInitResult notStarted = connection->searchInitPage(PagedSearchRequest{});
  EXPECT_EQ(notStarted.search, nullptr);
  EXPECT_EQ(notStarted.error, kServerDown);
}

TEST(LdapClientServerGoneTest, StoppedServerIsServerDown) {
  SlapdServer server;
  ASSERT_TRUE(server.started());
  auto connection = init(server.ldapiUri(), 389).connection;
  ASSERT_NE(connection, nullptr);
  // A SASL bind needs protocol version 3, which the library does not choose by itself.
  EXPECT_NE(connection->bind(kAuthNegotiate), kSuccess);
  ASSERT_EQ(connection->setOption(kOptProtocolVersion, 3), kSuccess);
  ASSERT_EQ(connection->bind(kAuthNegotiate), kSuccess);
  server.stop();
  std::vector<Entry> entries;
  EXPECT_EQ(connection->search("", kScopeBase, "(objectClass=*)", entries), kServerDown);
  auto again = init(server.ldapiUri(), 389).connection;
  ASSERT_NE(again, nullptr);
  ASSERT_EQ(again->setOption(kOptProtocolVersion, 3), kSuccess);
  EXPECT_EQ(again->bind(kAuthNegotiate), kServerDown);
}

TEST(LdapClientServerGoneTest, RefusedBindIsTheServersAnswer) {
  SlapdServer server("refuse-bind");
  ASSERT_TRUE(server.started());
  auto connection = init(server.ldapiUri(), 389).connection;
  ASSERT_NE(connection, nullptr);
  ASSERT_EQ(connection->setOption(kOptProtocolVersion, 3), kSuccess);
  // The server offers no mechanism at all.
  EXPECT_EQ(connection->bind(kAuthNegotiate), LDAP_AUTH_METHOD_NOT_SUPPORTED);
}

// The entry that makes ou=<name> of one directory a referral to the same place in another.
std::string referralLdif(const std::string& name, const std::string& targetUri) {
  return "dn: ou=" + name +
         ",dc=tavrel,dc=test\nobjectClass: referral\n"
         "objectClass: extensibleObject\nou: " +
         name + "\nref: " + targetUri + "ou=" + name + ",dc=tavrel,dc=test\n\n";
}

std::unique_ptr<Connection> boundTo(const SlapdServer& server) {
  auto connection = init(server.ldapiUri(), 389).connection;
  if (connection == nullptr || connection->setOption(kOptProtocolVersion, 3) != kSuccess ||
      connection->bind(kAuthNegotiate) != kSuccess) {
    return nullptr;
  }
  return connection;
}

std::vector<std::string> collectedDns(Connection& connection, const PagedSearchRequest& request,
                                      int pageSize, int* endCode) {
  std::vector<std::string> dns;
  auto search = connection.searchInitPage(request).search;
  if (!search) return dns;
  std::vector<Entry> page;
  for (int guard = 0; guard < 100; ++guard) {
    *endCode = connection.getNextPage(*search, 30, pageSize, page);
    if (*endCode != kSuccess) break;
    for (const Entry& entry : page) dns.push_back(entry.dn);
  }
  return dns;
}

TEST(LdapClientReferralTest, WritesBelowAReferralAreNeverSentElsewhere) {
  // The referred directory would take the write from the tester: the write goes to the
  // session's server all the same, which answers with the referral, and nothing changes there.
  SlapdServer referred("external-only",
                       ouLdif("Branch") + computerLdif("B0", "ou=Branch,dc=tavrel,dc=test", 4096));
  ASSERT_TRUE(referred.started());
  SlapdServer session("w2003-l2", referralLdif("Branch", referred.ldapiUri()));
  ASSERT_TRUE(session.started());
  const std::string dn = "cn=B0,ou=Branch,dc=tavrel,dc=test";
  for (bool chase : {true, false}) {
    SCOPED_TRACE(chase ? "referrals on" : "referrals off");
    auto connection = boundTo(session);
    ASSERT_NE(connection, nullptr);
    ASSERT_EQ(connection->setOption(kOptReferrals, chase ? 1 : 0), kSuccess);
    EXPECT_EQ(connection->modifyReplace(dn, "description", "chased"), 0x0A);
    EXPECT_EQ(referred.entry(dn).find("description: chased"), std::string::npos);
    // The session is not harmed.
    std::vector<Entry> entries;
    EXPECT_EQ(connection->search("", kScopeBase, "(objectClass=*)", entries), kSuccess);
  }
}

TEST(LdapClientReferralTest, LocalSocketReferenceIsNotFollowedAndKeepsTheSessionsEntries) {
  // ou=Loop refers to the session's own socket: whoever answers a search must not be able to
  // point the run at a local socket.
  SlapdServer session("w2003-l2", ouLdif("Fleet") +
                                      computerLdif("F0", "ou=Fleet,dc=tavrel,dc=test", 4096) +
                                      computerLdif("F1", "ou=Fleet,dc=tavrel,dc=test", 4096));
  ASSERT_TRUE(session.started());
  ASSERT_EQ(session.add(referralLdif("Loop", session.ldapiUri()), true), 0);
  auto connection = boundTo(session);
  ASSERT_NE(connection, nullptr);
  PagedSearchRequest request;
  request.base = SlapdServer::kSuffix;
  request.filter = "(objectcategory=computer)";
  request.attributes = {"cn"};
  console::Capture capture;
  int endCode = -1;
  auto dns = collectedDns(*connection, request, 1, &endCode);
  EXPECT_EQ(endCode, kNoResultsReturned);
  std::sort(dns.begin(), dns.end());
  EXPECT_EQ(dns, (std::vector<std::string>{"cn=F0,ou=Fleet,dc=tavrel,dc=test",
                                           "cn=F1,ou=Fleet,dc=tavrel,dc=test"}));
  EXPECT_NE(capture.err().find("] only ldap:// and ldaps:// referrals are followed\n"),
            std::string::npos)
      << capture.err();
}

/// A loopback listener that either never answers or closes every connection at once.
class MuteServer {
 public:
  explicit MuteServer(bool dropConnections) {
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(socket_, 8);
    socklen_t length = sizeof address;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (dropConnections) {
      thread_ = std::thread([this] {
        while (!stopping_) {
          int client = ::accept(socket_, nullptr, nullptr);
          if (client >= 0) ::close(client);
        }
      });
    }
  }
  ~MuteServer() {
    stopping_ = true;
    ::shutdown(socket_, SHUT_RDWR);
    ::close(socket_);
    if (thread_.joinable()) thread_.join();
  }
  int port() const { return port_; }

 private:
  int socket_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

TEST(LdapClientMuteServerTest, SilentServerTimesOutInsteadOfHanging) {
  MuteServer server(false);
  setTimeouts(1, 1);
  auto connection = init("127.0.0.1:" + std::to_string(server.port()), server.port()).connection;
  setTimeouts(10, 120);
  ASSERT_NE(connection, nullptr);
  auto started = std::chrono::steady_clock::now();
  int code = connection->bind(kAuthNegotiate);
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started);
  EXPECT_EQ(code, 0x55) << err2string(code);  // LDAP_TIMEOUT
  EXPECT_LT(seconds.count(), 5.0);
}

TEST(LdapClientMuteServerTest, DroppedConnectionIsServerDown) {
  MuteServer server(true);
  auto connection = init("127.0.0.1:" + std::to_string(server.port()), server.port()).connection;
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(connection->bind(kAuthNegotiate), kServerDown);
}

}  // namespace
}  // namespace tavrel::ldap
