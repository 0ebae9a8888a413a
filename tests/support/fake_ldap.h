// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_TESTS_SUPPORT_FAKE_LDAP_H_
#define TAVREL_TESTS_SUPPORT_FAKE_LDAP_H_

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "directory/ldap_client.h"
#include "directory/session.h"

namespace tavrel::testing {

/// A scripted LDAP connection for unit tests of logic above the adapter; it keeps the
/// adapters' contract (directory/ldap_client.h). Integration and end-to-end tests use real
/// servers instead.
class FakeLdap : public ldap::Connection {
 public:
  // Paged search script: pages are handed out in order with result 0, then
  // kNoResultsReturned. When `failAtPage` is set, that page index returns `failCode`
  // instead, together with the entries scripted for it (a failed page keeps what came with
  // it). `initPageFails` makes the search fail to start with error number `initPageError`.
  std::vector<std::vector<ldap::Entry>> pages;
  int failAtPage = -1;
  int failCode = 0;
  bool initPageFails = false;
  int initPageError = 87;

  // Root entry search script: the entries are handed over whatever the result.
  int searchResult = ldap::kSuccess;
  std::vector<ldap::Entry> searchEntries;

  // Script of searchExt: given the request, fills the entries and references and returns the
  // result code. Unset: success without entries.
  std::function<int(const ldap::SearchRequest&, std::vector<ldap::Entry>&, int& references)>
      searchExtResult;

  // Result of each write; receives the logged call text (see `calls`). Default: success.
  std::function<int(const std::string& call)> writeResult;

  // Everything that was asked of the connection, one text per call, e.g.
  // "modify <dn> <attr> <value>", "delete <dn> <oid>:<critical>", "rename <dn> <rdn> <parent> 1",
  // "bind 1158", "option 17 3", "unbind", "abandon", "initpage", "searchext <base> <scope>".
  std::vector<std::string> calls;
  ldap::PagedSearchRequest lastRequest;
  int bindResult = ldap::kSuccess;

  int setOption(int option, int value) override;
  int bind(int method) override;
  /// Logged as "bindas <method> <user>"; the password is kept in `boundPassword`.
  int bindAs(int method, const ldap::BindIdentity& identity) override;
  std::string boundPassword;
  std::string diagnosticMessage() override { return {}; }
  void unbind() override;
  int search(std::string_view base, int scope, std::string_view filter,
             std::vector<ldap::Entry>& entries) override;
  int searchExt(const ldap::SearchRequest& request, std::vector<ldap::Entry>& entries,
                int& references) override;
  ldap::SearchInitResult searchInitPage(const ldap::PagedSearchRequest& request) override;
  int getNextPage(ldap::PagedSearch& search, int timeoutSeconds, int pageSize,
                  std::vector<ldap::Entry>& page) override;
  int searchAbandonPage(ldap::PagedSearch& search) override;
  int modifyReplace(std::string_view dn, std::string_view attribute,
                    std::string_view value) override;
  int deleteExt(std::string_view dn, const std::vector<ldap::Control>& serverControls) override;
  int renameExt(std::string_view dn, std::string_view newRdn, std::string_view newParent,
                bool deleteOldRdn) override;

  /// Only the calls that write to the directory (modify, delete, rename).
  std::vector<std::string> writes() const;

 private:
  size_t nextPage_ = 0;
  int record(const std::string& call, bool isWrite);
};

/// A session over a new FakeLdap; `fake` points at the connection the session owns.
DirectorySession fakeSession(FakeLdap** fake);

/// An entry with single-valued attributes given as name/value pairs.
ldap::Entry makeEntry(const std::string& dn,
                      const std::vector<std::pair<std::string, std::string>>& attributes);

}  // namespace tavrel::testing

#endif  // TAVREL_TESTS_SUPPORT_FAKE_LDAP_H_
