// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_QUERY_PAGING_GUARD_H_
#define TAVREL_QUERY_PAGING_GUARD_H_

#include <optional>
#include <string>
#include <string_view>

namespace tavrel {

/// Watches a paged search for a server that keeps paging without end. Two rules stop it:
/// - no progress: kIdlePageLimit pages in a row bring no account not seen before in this
///   search while the server's paging cookie stays the same (a healthy Samba repeats its
///   cookie on every page, so the cookie alone proves nothing);
/// - too many pages: more than kFreePages plus kPagesPerFill times the pages that the new
///   accounts would fill (the page size counted as at most kLargestServerPage, the usual
///   largest page a domain controller sends), or kMaxPages pages in all.
/// A real domain comes nowhere near either; a server that sends one new account per page
/// for ever is stopped after about 1,100 pages at the default page size, and after at most
/// 500,000 pages (well under a minute at full speed on a local network) whatever the size.
struct PagingGuard {
  static constexpr int kIdlePageLimit = 10;
  static constexpr long long kFreePages = 1000;
  static constexpr long long kPagesPerFill = 10;
  static constexpr long long kLargestServerPage = 1000;
  static constexpr long long kMaxPages = 500000;

  long long pageSize = 100;  ///< as requested (-p)
  long long pages = 0;
  long long newAccounts = 0;
  int idlePages = 0;  ///< pages in a row without a new account and with the same cookie
  std::optional<std::string> lastCookie;
};

enum class PagingVerdict { kGoOn, kNoProgress, kTooManyPages };

/// Counts one page that arrived with success: `newAccounts` of its entries were not seen
/// before in this search; `cookie` is the server's paging cookie for the next page, or
/// nothing when the client cannot see it (then it counts as unchanged).
PagingVerdict notePage(PagingGuard& guard, long long newAccounts,
                       const std::optional<std::string>& cookie);

/// The reason a stopped search gives, in words fit for the console and the report.
std::string pagingStopReason(const PagingGuard& guard, PagingVerdict verdict);

}  // namespace tavrel

#endif  // TAVREL_QUERY_PAGING_GUARD_H_
