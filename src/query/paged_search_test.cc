// SPDX-License-Identifier: Apache-2.0
#include "query/paged_search.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/account_control.h"
#include "common/console.h"
#include "common/text.h"
#include "support/fake_ldap.h"

namespace tavrel {
namespace {

using namespace std::string_literals;
using ::testing::ElementsAre;
using testing::FakeLdap;
using testing::fakeSession;
using testing::makeEntry;

struct Fixture {
  FakeLdap* fake = nullptr;
  DirectorySession session = fakeSession(&fake);
  RunSettings settings;
  RootDseInfo rootDse;
  AttributeList attributes;
  SortSpec sort;

  Fixture() {
    rootDse.defaultNamingContext = "DC=tavrel,DC=test";
    rootDse.dnsHostName = "dc1.tavrel.test";
    attributes.text = "DN;cn;pwage";
    attributes.names = {"DN", "cn", "pwage"};
  }
  SearchOutcome run(const std::string& filter = "(objectcategory=computer)") {
    const std::string base =
        settings.baseDn.empty() ? rootDse.defaultNamingContext : settings.baseDn;
    return runPagedSearch(session, settings, rootDse, base, filter, attributes, sort);
  }
};

std::vector<std::string> dnsOf(const ObjectStore& store) {
  std::vector<std::string> dns;
  for (const auto& record : store) dns.emplace_back(record.get("DN"));
  return dns;
}

ldap::Entry computer(const std::string& name) {
  return makeEntry("CN=" + name + ",OU=Test,DC=tavrel,DC=test", {{"cn", name}});
}

TEST(PagedSearchTest, RequestCarriesTheRunsParameters) {
  struct Case {
    std::string baseDn;
    std::string scope;
    bool sendKey;
    bool reverse;
    std::string expectedBase;
    int expectedScope;
  } cases[] = {
      {"", "subtree", false, false, "DC=tavrel,DC=test", ldap::kScopeSubtree},
      {"OU=Lab,DC=tavrel,DC=test", "one", true, true, "OU=Lab,DC=tavrel,DC=test",
       ldap::kScopeOneLevel},
      {"", "onelevel", true, false, "DC=tavrel,DC=test", ldap::kScopeOneLevel},
  };
  for (const auto& c : cases) {
    console::Capture capture;
    Fixture f;
    f.settings.baseDn = c.baseDn;
    f.settings.scope = c.scope;
    f.settings.pageSize = 7;
    f.settings.timeoutSeconds = 42;
    f.sort.sortAttribute = "pwdLastSet";
    f.sort.sendKey = c.sendKey;
    f.sort.reverse = c.reverse;
    f.run("(cn=x)");
    const ldap::PagedSearchRequest& request = f.fake->lastRequest;
    EXPECT_EQ(request.base, c.expectedBase);
    EXPECT_EQ(request.scope, c.expectedScope);
    EXPECT_EQ(request.filter, "(cn=x)");
    EXPECT_THAT(request.attributes, ElementsAre("DN", "cn", "pwage"));
    EXPECT_EQ(request.timeLimitSeconds, 42);
    ASSERT_EQ(request.sortKey.has_value(), c.sendKey);
    if (c.sendKey) {
      EXPECT_EQ(request.sortKey->attribute, "pwdLastSet");
      EXPECT_EQ(request.sortKey->reverse, c.reverse);
    }
    EXPECT_THAT(f.fake->calls, ElementsAre("initpage", "nextpage 42 7", "abandon"));
  }
}

TEST(PagedSearchTest, SpinnerOncePerPageThenCompletion) {
  console::Capture capture;
  Fixture f;
  for (int i = 0; i < 5; ++i) f.fake->pages.push_back({computer("PC" + std::to_string(i))});
  f.fake->pages.push_back({});  // an empty page still turns the spinner
  SearchOutcome outcome = f.run();
  EXPECT_EQ(capture.out(), "|\r/\r-\r\\\r|\r/\rSearch completed...\n");
  EXPECT_EQ(capture.err(), "");
  EXPECT_EQ(outcome.objects.size(), 5u);
  EXPECT_EQ(f.fake->calls.size(), 1u + 7u + 1u);  // init, six pages and the end, abandon
  EXPECT_EQ(f.fake->calls.back(), "abandon");

  // Not on a terminal (cron, a pipe, a log file): no frames, everything else the same.
  console::Capture piped;
  piped.setTerminal(false);
  Fixture g;
  for (int i = 0; i < 3; ++i) g.fake->pages.push_back({computer("PC" + std::to_string(i))});
  EXPECT_EQ(g.run().objects.size(), 3u);
  EXPECT_EQ(piped.out(), "Search completed...\n");
}

TEST(PagedSearchTest, QuietAndDebugSilenceTheSpinner) {
  for (bool debug : {false, true}) {
    console::Capture capture;
    console::setFlags(!debug, debug);
    Fixture f;
    f.fake->pages = {{computer("PC1")}, {computer("PC2")}};
    f.run();
    if (debug) {
      EXPECT_EQ(capture.out(), "Search completed...\n");
      EXPECT_EQ(capture.err(),
                "DEBUG: Search Initialized...\n"
                "DEBUG: Have valid Search Handle...\n"
                "DEBUG: Retrieving Page...\n"
                "DEBUG: Object Count: 1\n"
                "CN=PC1,OU=Test,DC=tavrel,DC=test\n"
                "DEBUG: Retrieving Page...\n"
                "DEBUG: Object Count: 2\n"
                "CN=PC2,OU=Test,DC=tavrel,DC=test\n"
                "DEBUG: Retrieving Page...\n"
                "DEBUG: Object Count: 2\n"
                "2 objects matched\n");
    } else {
      EXPECT_EQ(capture.out(), "");
      EXPECT_EQ(capture.err(), "");
    }
  }
}

TEST(PagedSearchTest, ExclusionsDropObjectsAndTheMatchedCount) {
  struct Case {
    std::vector<std::string> exclusions;
    bool lowerCaseNames;
    std::vector<std::string> kept;
  } cases[] = {
      {{}, true, {"cn=pc1,ou=test,dc=x", "cn=pc2,ou=lab,dc=x", "cn=pc3,ou=testing,dc=x"}},
      {{"ou=test"}, true, {"cn=pc2,ou=lab,dc=x"}},
      {{"test"}, true, {"cn=pc2,ou=lab,dc=x"}},
      {{"ou=test,"}, true, {"cn=pc2,ou=lab,dc=x", "cn=pc3,ou=testing,dc=x"}},
      {{"nothing", "pc2"}, true, {"cn=pc1,ou=test,dc=x", "cn=pc3,ou=testing,dc=x"}},
      {{""}, true, {}},
      {{"nothing", ""}, true, {}},
      // -nolc keeps the server's case but matching stays case-insensitive.
      {{"ou=lab"}, false, {"CN=PC1,OU=Test,DC=x", "CN=PC3,OU=Testing,DC=x"}},
  };
  for (const auto& c : cases) {
    console::Capture capture;
    Fixture f;
    f.rootDse.defaultNamingContext.clear();  // names of several domains
    f.settings.dnExclusions = c.exclusions;
    f.settings.lowerCaseNames = c.lowerCaseNames;
    f.fake->pages = {{makeEntry("CN=PC1,OU=Test,DC=x", {}), makeEntry("CN=PC2,OU=Lab,DC=x", {})},
                     {makeEntry("CN=PC3,OU=Testing,DC=x", {})}};
    SearchOutcome outcome = f.run();
    EXPECT_EQ(dnsOf(outcome.objects), c.kept) << ::testing::PrintToString(c.exclusions);
  }
}

// A server, or one a reference led to, may send names nobody asked for: they are dropped and
// named, and an account a reference led to keeps the server it was read at.
TEST(PagedSearchTest, EntriesOutsideTheBasesAreDroppedAndReferredOnesKeepTheirServer) {
  console::Capture capture;
  Fixture f;
  f.settings.baseDn = "OU=Fleet,DC=tavrel,DC=test";
  auto referred = [](const std::string& dn, const std::string& base) {
    ldap::Entry entry = makeEntry(dn, {});
    entry.heldBy = "ldap://b:389";
    entry.referredBase = base;
    return entry;
  };
  f.fake->pages = {
      {makeEntry("CN=PC1,OU=Fleet,DC=tavrel,DC=test", {}),
       makeEntry("CN=DC1,OU=Domain Controllers,DC=tavrel,DC=test", {}),
       referred("CN=PC2,OU=Branch,OU=Fleet,DC=tavrel,DC=test",
                "ou=branch,ou=fleet,dc=tavrel,dc=test"),
       referred("CN=PC3,OU=Fleet,DC=tavrel,DC=test", "OU=Branch,OU=Fleet,DC=tavrel,DC=test")}};
  SearchOutcome outcome = f.run();
  EXPECT_THAT(dnsOf(outcome.objects), ElementsAre("cn=pc1,ou=fleet,dc=tavrel,dc=test",
                                                  "cn=pc2,ou=branch,ou=fleet,dc=tavrel,dc=test"));
  EXPECT_FALSE(outcome.objects[0].has(kHeldByKey));
  EXPECT_EQ(outcome.objects[1].get(kHeldByKey), "ldap://b:389");
  EXPECT_EQ(capture.err(),
            "WARN: Entry dropped, outside the search base OU=Fleet,DC=tavrel,DC=test: "
            "CN=DC1,OU=Domain Controllers,DC=tavrel,DC=test\n"
            "WARN: Entry dropped, outside the base OU=Branch,OU=Fleet,DC=tavrel,DC=test of the "
            "referral to ldap://b:389: CN=PC3,OU=Fleet,DC=tavrel,DC=test\n");
}

TEST(PagedSearchTest, ExcludedLinesOnStandardOutputAndNetCounts) {
  console::Capture capture;
  console::setFlags(false, true);
  Fixture f;
  f.rootDse.defaultNamingContext.clear();  // names of several domains
  f.settings.dnExclusions = {"ou=lab", "pc"};
  f.fake->pages = {{makeEntry("CN=PC1,OU=Lab,DC=x", {}), makeEntry("CN=Srv,OU=Test,DC=x", {})},
                   {makeEntry("CN=PC3,OU=Test,DC=x", {})}};
  SearchOutcome outcome = f.run();
  EXPECT_EQ(dnsOf(outcome.objects), std::vector<std::string>{"cn=srv,ou=test,dc=x"});
  EXPECT_EQ(capture.out(),
            "DEBUG: Excluded DN (ou=lab) - CN=PC1,OU=Lab,DC=x\n"
            "DEBUG: Excluded DN (pc) - CN=PC3,OU=Test,DC=x\n"
            "Search completed...\n");
  EXPECT_THAT(capture.err(), ::testing::HasSubstr("DEBUG: Object Count: 2\nCN=Srv,OU=Test"));
  // The second page's count is taken before its exclusion, the final one after.
  EXPECT_THAT(capture.err(), ::testing::HasSubstr("DEBUG: Object Count: 2\nDEBUG: Retrieving"));
  EXPECT_THAT(capture.err(), ::testing::EndsWith("DEBUG: Object Count: 1\n1 objects matched\n"));
}

TEST(PagedSearchTest, ValuesLastOneWinsAndNameAttributesAreLowerCased) {
  ldap::Entry entry;
  entry.dn = "CN=PC1,OU=Test,DC=x";
  entry.attributes = {
      {"cn", {"PC1"}},
      {"sAMAccountName", {"PC1$"}},
      {"dNSHostName", {"PC1.Tavrel.TEST"}},
      {"operatingSystem", {"Windows XP"}},
      {"description", {"First", "Second", "Third"}},
      {"msDS-cnThing", {"MIXED"}},   // contains "cn": lower-cased
      {"samaccountname", {"Kept"}},  // not requested, so kept as spelled: not a name attribute
      {"emptyOne", {}},
  };
  for (bool lower : {true, false}) {
    console::Capture capture;
    Fixture f;
    f.rootDse.defaultNamingContext.clear();  // names of several domains
    f.settings.lowerCaseNames = lower;
    f.fake->pages = {{entry}};
    SearchOutcome outcome = f.run();
    ASSERT_EQ(outcome.objects.size(), 1u);
    const ObjectRecord& r = outcome.objects[0];
    EXPECT_EQ(r.get("DN"), lower ? "cn=pc1,ou=test,dc=x" : "CN=PC1,OU=Test,DC=x");
    EXPECT_EQ(r.get("cn"), lower ? "pc1" : "PC1");
    EXPECT_EQ(r.get("sAMAccountName"), lower ? "pc1$" : "PC1$");
    EXPECT_EQ(r.get("dNSHostName"), lower ? "pc1.tavrel.test" : "PC1.Tavrel.TEST");
    EXPECT_EQ(r.get("msDS-cnThing"), lower ? "mixed" : "MIXED");
    EXPECT_EQ(r.get("operatingSystem"), "Windows XP");
    EXPECT_EQ(r.get("description"), "Third");
    EXPECT_EQ(r.get("samaccountname"), "Kept");
    EXPECT_FALSE(r.has("emptyOne"));
    EXPECT_FALSE(r.has("pwage"));
    EXPECT_FALSE(r.has("lltsAge"));
  }
}

TEST(PagedSearchTest, ValuesOfAnyBytesAndLengthArriveWhole) {
  console::Capture capture;
  Fixture f;
  f.rootDse.defaultNamingContext.clear();  // names of several domains
  const std::string binary = "A\0B\xff\xfe\x80Z"s;
  const std::string huge(1 << 20, 'Q');
  f.fake->pages = {{makeEntry("CN=\xe9t\xe9,DC=x"s, {{"cn", binary}, {"description", huge}})}};
  SearchOutcome outcome = f.run();
  ASSERT_EQ(outcome.objects.size(), 1u);
  EXPECT_EQ(outcome.objects[0].get("DN"), "cn=\xe9t\xe9,dc=x"s);
  EXPECT_EQ(outcome.objects[0].get("cn"), "a\0b\xff\xfe\x80z"s);
  EXPECT_EQ(outcome.objects[0].get("description"), huge);
}

TEST(PagedSearchTest, FailedInitGivesEmptyStoreAndGoesOn) {
  console::Capture capture;
  Fixture f;
  f.fake->initPageFails = true;
  Int8 before = int8Now();
  SearchOutcome outcome = f.run();
  EXPECT_TRUE(outcome.objects.empty());
  // The number is the platform's own. (No regular expression: GoogleTest's on Windows has
  // no character classes.)
  const std::string head = "LDAP_SEARCH_INIT_PAGE FAILED: WinError=";
  const std::string tail = "\n\nSearch completed...\n";
  const std::string& out = capture.out();
  ASSERT_TRUE(out.starts_with(head) && out.ends_with(tail)) << out;
  std::string number = out.substr(head.size(), out.size() - head.size() - tail.size());
  if (number.starts_with("-")) number.erase(0, 1);
  EXPECT_TRUE(!number.empty() && number.find_first_not_of("0123456789") == std::string::npos)
      << out;
  EXPECT_EQ(capture.err(), "");
  EXPECT_THAT(f.fake->calls, ElementsAre("initpage"));
  EXPECT_GE(outcome.finishTime, before);
}

TEST(PagedSearchTest, PageErrorKeepsEarlierPagesAndAbandons) {
  console::Capture capture;
  Fixture f;
  f.fake->pages = {{computer("PC1"), computer("PC2")}, {computer("PC3")}, {computer("PC4")}};
  f.fake->failAtPage = 2;
  f.fake->failCode = ldap::kServerDown;
  SearchOutcome outcome = f.run();
  EXPECT_EQ(dnsOf(outcome.objects), (std::vector<std::string>{"cn=pc1,ou=test,dc=tavrel,dc=test",
                                                              "cn=pc2,ou=test,dc=tavrel,dc=test",
                                                              "cn=pc3,ou=test,dc=tavrel,dc=test"}));
  EXPECT_EQ(capture.out(), "|\r/\r\nSearch completed...\n");
  EXPECT_EQ(capture.err(),
            formatText("ldap_get_next_page_s: [dc1.tavrel.test] Error 0x51 (81) - %s\n",
                       ldapErrorText(ldap::kServerDown).c_str()));
  EXPECT_EQ(f.fake->calls.back(), "abandon");

  // The failed page's own entry counts as matched, as the adapters hand it over, but is not
  // collected.
  console::Capture debugCapture;
  console::setFlags(false, true);
  Fixture again;
  again.fake->pages = f.fake->pages;
  again.fake->failAtPage = 2;
  again.fake->failCode = ldap::kServerDown;
  EXPECT_EQ(again.run().objects.size(), 3u);
  EXPECT_THAT(debugCapture.err(), ::testing::EndsWith("\n4 objects matched\n"));
  EXPECT_THAT(debugCapture.err(), ::testing::Not(::testing::HasSubstr("CN=PC4")));
}

TEST(PagedSearchTest, FinishTimeIsTakenAfterTheSearch) {
  console::Capture capture;
  Fixture f;
  Int8 before = int8Now();
  SearchOutcome outcome = f.run();
  Int8 after = int8Now();
  EXPECT_GE(outcome.finishTime, before);
  EXPECT_LE(outcome.finishTime, after);
  EXPECT_EQ(outcome.finishText, int8Text(outcome.finishTime));
  EXPECT_EQ(outcome.finishDate, int8DateText(outcome.finishText));
}

TEST(ObjectAgesTest, AgesAgainstTheFinishTime) {
  constexpr Int8 kDay = 864000000000LL;
  const Int8 finish = 127000000000000000LL;
  ObjectRecord record;
  record.set("pwdLastSet", int8Text(finish - 45 * kDay));
  ObjectAges ages = objectAges(record, finish);
  EXPECT_EQ(ages.pwage, "0045");
  EXPECT_EQ(ages.lltsAge, "-0001");  // absent
  record.set("lastLogonTimestamp", int8Text(finish - kDay + 1));
  record.set("pwdLastSet", "0");
  ages = objectAges(record, finish);
  EXPECT_EQ(ages.pwage, "-0001");
  EXPECT_EQ(ages.lltsAge, "0000");
}

}  // namespace
}  // namespace tavrel

namespace tavrel {
namespace {

TEST(PagedSearchTest, EachAccountOnceHoweverItsNameIsSpelled) {
  console::Capture capture;
  console::setFlags(false, true);
  Fixture f;
  f.rootDse.defaultNamingContext.clear();  // names of several domains
  f.settings.dnExclusions = {"ou=skip"};
  f.fake->pages = {{computer("PC1"), computer("PC2"), makeEntry("CN=X,OU=Skip,DC=x", {})},
                   {makeEntry("cn=pc1, ou=test, dc=tavrel, dc=test", {{"cn", "again"}}),
                    makeEntry("CN=PC\\32,OU=Test,DC=tavrel,DC=test", {}), computer("PC3"),
                    makeEntry("cn=x,ou=skip,dc=x", {})}};
  SearchOutcome outcome = f.run();
  EXPECT_EQ(dnsOf(outcome.objects), (std::vector<std::string>{"cn=pc1,ou=test,dc=tavrel,dc=test",
                                                              "cn=pc2,ou=test,dc=tavrel,dc=test",
                                                              "cn=pc3,ou=test,dc=tavrel,dc=test"}));
  EXPECT_EQ(outcome.objects[0].get("cn"), "pc1");  // the first arrival stays
  EXPECT_TRUE(outcome.complete);
  EXPECT_THAT(capture.err(),
              ::testing::HasSubstr("DEBUG: Duplicate DN dropped - cn=pc1, ou=test, dc=tavrel, "
                                   "dc=test\nDEBUG: Duplicate DN dropped - "
                                   "CN=PC\\32,OU=Test,DC=tavrel,DC=test\n"));
  EXPECT_THAT(capture.err(), ::testing::HasSubstr("DEBUG: Duplicate DN dropped - cn=x,ou=skip"));
  EXPECT_THAT(capture.err(), ::testing::EndsWith("3 objects matched\n"));
}

TEST(PagedSearchTest, AttributeNamesInAnyCaseReachTheRequestedSpelling) {
  console::Capture capture;
  Fixture f;
  f.rootDse.defaultNamingContext.clear();  // names of several domains
  f.attributes.names = {"DN", "cn", "userAccountControl", "pwdLastSet"};
  ldap::Entry odd = makeEntry("CN=DC1,DC=x", {{"CN", "DC1"},
                                              {"USERACCOUNTCONTROL", "532480"},
                                              {"pwdlastset", "0"},
                                              {"Description", "kept as sent"}});
  ldap::Entry twice =
      makeEntry("CN=DC2,DC=x", {{"userAccountControl", "532480"}, {"UserAccountControl", "4096"}});
  ldap::Entry several = makeEntry("CN=DC3,DC=x", {});
  several.attributes.push_back({"userAccountControl", {"532480", "4096"}});
  f.fake->pages = {{odd, twice, several}};
  SearchOutcome outcome = f.run();
  ASSERT_EQ(outcome.objects.size(), 3u);
  const ObjectRecord& r = outcome.objects[0];
  EXPECT_EQ(r.get("cn"), "dc1");
  EXPECT_EQ(r.get("userAccountControl"), "532480");
  EXPECT_EQ(r.get("pwdLastSet"), "0");
  EXPECT_EQ(r.get("Description"), "kept as sent");
  EXPECT_TRUE(readAccountControl(r).has(kAccountDomainController));
  for (int i : {1, 2}) {
    EXPECT_EQ(outcome.objects[i].get("userAccountControl"), "4096");
    EXPECT_EQ(readAccountControl(outcome.objects[i]).state, AccountControlState::kSeveralValues);
  }
}

TEST(PagedSearchTest, AServerThatPagesWithoutEndIsStopped) {
  struct Case {
    bool newEachPage;
    std::size_t pagesAsked;
    std::string err;
  } cases[] = {
      {false, 11,
       "ERROR: Search stopped: the server sent 10 pages in a row without an account not seen "
       "before in this search\n"},
      {true, 1121,
       "ERROR: Search stopped: the server sent 1121 pages for 1121 accounts, far more than they "
       "can fill\n"},
  };
  for (const Case& c : cases) {
    console::Capture capture;
    console::setFlags(true, false);
    Fixture f;
    for (int i = 0; i < 3000; ++i) {
      f.fake->pages.push_back({computer(c.newEachPage ? "PC" + std::to_string(i) : "PC")});
    }
    SearchOutcome outcome = f.run();
    EXPECT_FALSE(outcome.complete);
    EXPECT_EQ(outcome.incompleteReason,
              "the search was stopped: " + c.err.substr(23, c.err.size() - 24));
    EXPECT_EQ(outcome.objects.size(), c.newEachPage ? c.pagesAsked : 1u);
    EXPECT_EQ(capture.err(), c.err);
    EXPECT_EQ(f.fake->calls.back(), "abandon");
    EXPECT_EQ(f.fake->calls.size(), c.pagesAsked + 2);  // init, the pages, abandon
  }
}

}  // namespace
}  // namespace tavrel
