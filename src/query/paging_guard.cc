// SPDX-License-Identifier: Apache-2.0
#include "query/paging_guard.h"

#include <algorithm>

#include "common/text.h"

namespace tavrel {

namespace {

constexpr const char* kNoProgressReason =
    "the server sent %d pages in a row without an account not seen before in this search";
constexpr const char* kTooManyPagesReason =
    "the server sent %lld pages for %lld accounts, far more than they can fill";

}  // namespace

PagingVerdict notePage(PagingGuard& guard, long long newAccounts,
                       const std::optional<std::string>& cookie) {
  ++guard.pages;
  guard.newAccounts += newAccounts;
  const bool sameCookie = !cookie || !guard.lastCookie || *cookie == *guard.lastCookie;
  if (guard.pages > 1 && newAccounts == 0 && sameCookie) {
    ++guard.idlePages;
  } else {
    guard.idlePages = 0;
  }
  if (cookie) guard.lastCookie = cookie;
  if (guard.idlePages >= PagingGuard::kIdlePageLimit) return PagingVerdict::kNoProgress;

  const long long pageSize = std::clamp(guard.pageSize, 1LL, PagingGuard::kLargestServerPage);
  const long long filled = (guard.newAccounts + pageSize - 1) / pageSize;
  if (guard.pages > PagingGuard::kFreePages + PagingGuard::kPagesPerFill * filled ||
      guard.pages >= PagingGuard::kMaxPages) {
    return PagingVerdict::kTooManyPages;
  }
  return PagingVerdict::kGoOn;
}

std::string pagingStopReason(const PagingGuard& guard, PagingVerdict verdict) {
  if (verdict == PagingVerdict::kNoProgress) return formatText(kNoProgressReason, guard.idlePages);
  return formatText(kTooManyPagesReason, guard.pages, guard.newAccounts);
}

}  // namespace tavrel
