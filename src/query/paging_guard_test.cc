// SPDX-License-Identifier: Apache-2.0
#include "query/paging_guard.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrel {
namespace {

/// Feeds `pages` pages of `perPage` new accounts each; the cookie changes every page when
/// `cookieMoves`, stays "c" otherwise, and is invisible when `cookieSeen` is false. Returns
/// the page that stopped the search (0: none) and the verdict.
std::pair<long long, PagingVerdict> feed(PagingGuard& guard, long long pages, long long perPage,
                                         bool cookieMoves, bool cookieSeen = true) {
  for (long long page = 1; page <= pages; ++page) {
    std::optional<std::string> cookie;
    if (cookieSeen) cookie = cookieMoves ? std::to_string(guard.pages) : "c";
    PagingVerdict verdict = notePage(guard, perPage, cookie);
    if (verdict != PagingVerdict::kGoOn) return {guard.pages, verdict};
  }
  return {0, PagingVerdict::kGoOn};
}

TEST(PagingGuardTest, HealthySearchesOfAnySizeRunToTheirEnd) {
  struct Case {
    long long pageSize;
    long long pages;
    long long perPage;
    bool cookieMoves;
  } cases[] = {
      {100, 20000, 100, false},   // Samba: the same cookie on every full page, 2 million
      {100, 20000, 100, true},    // slapd
      {5000, 20000, 1000, true},  // a domain controller that caps the page at 1,000
      {1, 400000, 1, true},       // one account per page because -p 1 asked for it
      {100, 1000, 0, true},       // a long stretch of empty pages the server moves through
  };
  for (const Case& c : cases) {
    PagingGuard guard;
    guard.pageSize = c.pageSize;
    EXPECT_EQ(feed(guard, c.pages, c.perPage, c.cookieMoves).first, 0) << c.pageSize;
  }
}

TEST(PagingGuardTest, NoProgressWithTheSameCookieStopsAfterTenPages) {
  for (bool cookieSeen : {true, false}) {
    PagingGuard guard;
    EXPECT_EQ(notePage(guard, 1, cookieSeen ? std::optional<std::string>("c") : std::nullopt),
              PagingVerdict::kGoOn);
    auto [page, verdict] = feed(guard, 100, 0, false, cookieSeen);
    EXPECT_EQ(page, 11);
    EXPECT_EQ(verdict, PagingVerdict::kNoProgress);
    EXPECT_EQ(pagingStopReason(guard, verdict),
              "the server sent 10 pages in a row without an account not seen before in this "
              "search");
  }
  // A new account in between starts the count again.
  PagingGuard guard;
  feed(guard, 9, 0, false);
  notePage(guard, 1, "c");
  EXPECT_EQ(feed(guard, 9, 0, false).first, 0);
}

TEST(PagingGuardTest, EndlessPagingIsStoppedByThePageCount) {
  struct Case {
    long long pageSize;
    long long perPage;
    bool cookieMoves;
    long long stopsAt;
  } cases[] = {
      {100, 1, true, 1121},    // one new account per page: 1,000 + 10 x 12 pages
      {100, 1, false, 1121},   // the same with Samba's steady cookie
      {100, 0, true, 1001},    // moving cookie, nothing new
      {1000, 10, true, 1121},  // a large page that stays nearly empty
      {1, 1, true, 500000},    // one per page is what -p 1 asks for: only the cap stops it
      {10, 1, true, 500000},
  };
  for (const Case& c : cases) {
    PagingGuard guard;
    guard.pageSize = c.pageSize;
    auto [page, verdict] = feed(guard, 1000000, c.perPage, c.cookieMoves);
    EXPECT_EQ(page, c.stopsAt) << c.pageSize << "/" << c.perPage;
    EXPECT_EQ(verdict, PagingVerdict::kTooManyPages);
  }
  PagingGuard guard;
  feed(guard, 2000, 1, true);
  EXPECT_EQ(pagingStopReason(guard, PagingVerdict::kTooManyPages),
            "the server sent 1121 pages for 1121 accounts, far more than they can fill");
}

}  // namespace
}  // namespace tavrel
