// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_REFERRAL_CHASE_H_
#define TAVREL_DIRECTORY_REFERRAL_CHASE_H_

#include <ldap.h>

#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "directory/ldap_client.h"
#include "directory/page_request.h"

/// The POSIX adapter's paged search, which follows the search's references itself.
///
/// libldap's own chasing would re-send a page request, paging cookie included, to the
/// referred server and merge the answers into one result without the response controls, so
/// the session's paging would stop after the first page (and Samba drops a connection that is
/// sent a paged request that way). Each referred server gets a paged search of its own
/// instead, after the session's own pages, on a connection bound as the same user.
namespace tavrel::ldap {

class ChasingPagedSearch : public PagedSearch {
 public:
  /// A search on the session `ld`; references are followed when `chase` is on, up to the
  /// session's hop limit, and only to ldap:// and ldaps:// servers. Their connections bind no
  /// weaker than the session did.
  ChasingPagedSearch(LDAP* ld, const PagedSearchRequest& request, bool chase);

  bool finished() const { return finished_; }

  /// The cookie that came with the last page, prefixed with the reference it came through.
  const std::string& lastCookie() const { return lastCookie_; }

  /// The next page: the session's own pages first, then those of each referred server in
  /// turn. Returns the result code in the program's numbering (kNoResultsReturned at the
  /// end); `page` is cleared and filled as fetchPage does.
  int nextPage(int timeoutSeconds, int pageSize, std::vector<Entry>& page);

  /// Ends the search; the servers still holding its state are told to drop it, the session's
  /// own only while `sessionOpen`.
  void abandon(bool sessionOpen);

  /// Ends the search with the library's `libraryCode`, returned in the program's numbering.
  int finish(int libraryCode);

 private:
  struct PendingReference {
    std::string url;
    int hops = 0;
  };

  int remember(const std::vector<std::string>& urls, int hops);
  int openReference(const PendingReference& reference);
  int nextReferredPage(int timeoutSeconds, int pageSize, std::vector<Entry>& page);

  PagedSearchRequest request_;
  bool chase_ = true;
  BindFloor floor_;
  int hopLimit_ = 5;
  PagedStream primary_;
  std::unique_ptr<PagedStream> referred_;
  std::deque<PendingReference> pending_;
  std::set<std::string> seen_;
  /// The session's server holds nothing under the base itself and named other servers.
  bool referredAway_ = false;
  /// Some referred server answered.
  bool followed_ = false;
  bool finished_ = false;
  std::string lastCookie_;
  /// Why the last referred server's bind was refused, in the bind's own words.
  std::string refusal_;
};

}  // namespace tavrel::ldap

#endif  // TAVREL_DIRECTORY_REFERRAL_CHASE_H_
