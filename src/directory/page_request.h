// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_PAGE_REQUEST_H_
#define TAVREL_DIRECTORY_PAGE_REQUEST_H_

#include <ldap.h>

#include <memory>
#include <string>
#include <vector>

#include "directory/ldap_client.h"
#include "directory/libldap_session.h"

/// Page requests of the POSIX adapter's paged search: one request with the paging control
/// (and the sort control) on one server, read message by message.
namespace tavrel::ldap {

/// One paged search on one server: the session's own, or one that a reference led to.
struct PagedStream {
  LDAP* ld = nullptr;
  std::unique_ptr<LDAP, Unbinder> owned;  ///< the connection opened for a reference
  std::string url;                        ///< that reference; empty for the session's own
  std::string server;                     ///< the URI the reference's connection went to
  int hops = 0;                           ///< references followed to get here
  std::string base;
  int scope = kScopeSubtree;
  std::string filter;
  std::string cookie;
  bool finished = false;
  int sentAhead = 0;      ///< message id of the next page's request, already sent; 0: none
  int sentAheadSize = 0;  ///< the page size it asked for
};

/// What one page brought besides its entries.
struct PageAnswer {
  int code = LDAP_OTHER;  ///< the library's result code for the page
  /// URLs of the search references met on the page and of a referral result.
  std::vector<std::string> references;
};

/// Reads the stream's next page into `page` and moves its cookie on (the stream is finished
/// when the server sends no cookie). `page` is cleared and filled: its slots are reused, and
/// it ends up holding exactly the entries this page brought. A page that timed out or lost
/// its connection brings none; one that ended with another error keeps what came with it.
/// The whole page waits at most `timeoutSeconds`, or the operation time-out when that is 0
/// or below. A server that answers "busy" is asked again a few times. While the stream has
/// more pages, the request for the next one is sent before this returns.
PageAnswer fetchPage(PagedStream& stream, const PagedSearchRequest& request, int timeoutSeconds,
                     int pageSize, std::vector<Entry>& page);

/// Tells the server to drop the state of a paged search that is not read to its end.
void abandonStream(PagedStream& stream, const PagedSearchRequest& request);

}  // namespace tavrel::ldap

#endif  // TAVREL_DIRECTORY_PAGE_REQUEST_H_
