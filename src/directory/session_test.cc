// SPDX-License-Identifier: Apache-2.0
#include "directory/session.h"

#include <gtest/gtest.h>

#include <string>

#include "common/console.h"
#include "support/slapd_server.h"

namespace tavrel {
namespace {

using testing::SlapdServer;

std::string echo(const std::string& serverLine, int port, bool referrals) {
  return "DEBUG: In OpenLDAP... Params:\n" + serverLine +
         "DEBUG:    Port:        " + std::to_string(port) +
         "\nDEBUG:    Ref:       " + (referrals ? "1" : "0") +
         "\nDEBUG:    V3:        1\n"
         "DEBUG:    Anonymous: 0\n"
         "DEBUG:    userdn: \n"
         "DEBUG:    password: \n"
         "DEBUG:    Simple: 0\n"
         "DEBUG:    LDAP_OPT_ENCRYPT: 0\n"
         "DEBUG:    Extended Error Info: 0\n";
}

TEST(ReportLdapErrorTest, OneLineInTheCommonFormat) {
  struct Case {
    const char* label;
    const char* subject;
    int code;
    const char* line;
  };
  const Case cases[] = {
      {"LDAP_BIND", "dc1", 0x51, "LDAP_BIND: [dc1] Error 0x51 (81) - Can't contact LDAP server\n"},
      {"LDAP_BIND", "", 0x31, "LDAP_BIND: [] Error 0x31 (49) - Invalid credentials\n"},
      {"ldap_get_next_page_s", "dc1.x", 0x5E,
       "ldap_get_next_page_s: [dc1.x] Error 0x5e (94) - No results returned\n"},
      {"LDAP_OPTION (Version3): ", "dc1", 0x59,
       "LDAP_OPTION (Version3): : [dc1] Error 0x59 (89) - Bad parameter to an ldap routine\n"},
  };
  for (const Case& c : cases) {
    console::Capture capture;
    reportLdapError(c.label, c.subject, c.code);
    EXPECT_EQ(capture.err(), c.line);
    EXPECT_EQ(capture.out(), "");
    EXPECT_EQ(ldapErrorText(c.code), ldap::err2string(c.code));
  }
}

class OpenLdapTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new SlapdServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(server_->started()); }
  static SlapdServer* server_;
};

SlapdServer* OpenLdapTest::server_ = nullptr;

TEST_F(OpenLdapTest, BindsAndIsSilentWithoutDebug) {
  console::Capture capture;
  std::optional<DirectorySession> session = OpenLDAP(server_->ldapiUri(), true);
  ASSERT_TRUE(session.has_value()) << capture.err();
  EXPECT_EQ(capture.out(), "");
  EXPECT_EQ(capture.err(), "");
  std::vector<ldap::Entry> entries;
  EXPECT_EQ(session->connection->search("", ldap::kScopeBase, "(objectClass=*)", entries), 0);
}

TEST_F(OpenLdapTest, DebugEchoesParametersOptionsAndTheBind) {
  for (bool referrals : {true, false}) {
    console::Capture capture;
    console::setFlags(false, true);
    const std::string& uri = server_->ldapiUri();
    std::optional<DirectorySession> session = OpenLDAP(uri, referrals);
    ASSERT_TRUE(session.has_value()) << capture.err();
    EXPECT_EQ(capture.out(), echo("DEBUG:    Server:    " + uri + "\n", 389, referrals));
    EXPECT_EQ(capture.err(), std::string("LDAP_OPTION: Version 3\n") +
                                 (referrals ? "" : "LDAP_OPTION: No referrals\n") + "LDAP_BIND: [" +
                                 uri + "] Successful\n");
  }
}

TEST_F(OpenLdapTest, FailedBindNamesTheHostWithoutItsPort) {
  // Over TCP the local user has no identity the server accepts, so the server itself
  // answers and refuses; the message names the host text before the colon.
  const std::string host = server_->hostPort();
  console::Capture capture;
  console::setFlags(false, true);
  std::optional<DirectorySession> session = OpenLDAP(host, true);
  EXPECT_FALSE(session.has_value());
  EXPECT_EQ(capture.out(), echo("DEBUG:    Server:    " + host + "\n", server_->port(), true));
  const std::string prefix = "LDAP_OPTION: Version 3\nLDAP_BIND: [127.0.0.1] Error 0x";
  EXPECT_EQ(capture.err().substr(0, prefix.size()), prefix) << capture.err();
  EXPECT_EQ(capture.err().find("(81)"), std::string::npos) << capture.err();
}

TEST_F(OpenLdapTest, PortRules) {
  struct Case {
    std::string host;
    int port;
    std::string subject;
  };
  const Case cases[] = {
      // Nothing listens on these loopback ports.
      {"127.0.0.1:1", 1, "127.0.0.1"},
      {"127.0.0.1:2xyz", 2, "127.0.0.1"},
      {"127.0.0.1:0000039", 3, "127.0.0.1"},
      {"ldap://127.0.0.1:4/", 4, "ldap://127.0.0.1:4/"},
  };
  for (const Case& c : cases) {
    console::Capture capture;
    console::setFlags(false, true);
    EXPECT_FALSE(OpenLDAP(c.host, true).has_value());
    EXPECT_NE(capture.out().find("DEBUG:    Port:        " + std::to_string(c.port) + "\n"),
              std::string::npos)
        << c.host << "\n"
        << capture.out();
    EXPECT_NE(capture.err().find("[" + c.subject + "] Error "), std::string::npos) << c.host << "\n"
                                                                                   << capture.err();
  }
}

TEST(OpenLdapFailureTest, UnreachableServer) {
  SlapdServer server;
  ASSERT_TRUE(server.started());
  const std::string host = server.hostPort();
  server.stop();
  console::Capture capture;
  EXPECT_FALSE(OpenLDAP(host, false).has_value());
  // Today's line first, then the cause with the port the run tried.
  EXPECT_EQ(
      capture.err(),
      "LDAP_BIND: [127.0.0.1] Error 0x51 (81) - Can't contact LDAP server\nERROR: 127.0.0.1 port " +
          host.substr(host.rfind(':') + 1) +
          " refused the connection: no LDAP server listens there; check -h and the port.\n");
  EXPECT_EQ(capture.out(), "");
}

TEST(OpenLdapFailureTest, RefusedBind) {
  SlapdServer server("refuse-bind");
  ASSERT_TRUE(server.started());
  console::Capture capture;
  EXPECT_FALSE(OpenLDAP(server.ldapiUri(), true).has_value());
  // The reason follows on its own line.
  EXPECT_EQ(capture.err(), "LDAP_BIND: [" + server.ldapiUri() + "] Error 0x7 (7) - " +
                               ldap::err2string(7) +
                               "\nERROR: The server offers no sign-in this program uses over "
                               "ldapi:// (it offers none)\n");
}

TEST(OpenLdapFailureTest, HostTextTheLibraryCannotUse) {
  console::Capture capture;
  EXPECT_FALSE(OpenLDAP(std::string("ldap://[::1"), true).has_value());
  const std::string prefix = "LDAP_INIT: [ldap://[::1] Error 0x";
  EXPECT_EQ(capture.err().substr(0, prefix.size()), prefix) << capture.err();
}

}  // namespace
}  // namespace tavrel
