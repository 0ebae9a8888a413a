// SPDX-License-Identifier: Apache-2.0
#include "support/fake_ldap.h"

namespace tavrel::testing {

namespace {
class FakePagedSearch : public ldap::PagedSearch {};
}  // namespace

int FakeLdap::record(const std::string& call, bool isWrite) {
  calls.push_back(call);
  if (isWrite && writeResult) return writeResult(call);
  return ldap::kSuccess;
}

int FakeLdap::setOption(int option, int value) {
  return record("option " + std::to_string(option) + " " + std::to_string(value), false);
}

int FakeLdap::bind(int method) {
  record("bind " + std::to_string(method), false);
  return bindResult;
}

int FakeLdap::bindAs(int method, const ldap::BindIdentity& identity) {
  record("bindas " + std::to_string(method) + " " + identity.user, false);
  boundPassword = std::string(identity.password.view());
  return bindResult;
}

void FakeLdap::unbind() {
  record("unbind", false);
}

int FakeLdap::search(std::string_view base, int scope, std::string_view filter,
                     std::vector<ldap::Entry>& entries) {
  record("search [" + std::string(base) + "] " + std::to_string(scope) + " " + std::string(filter),
         false);
  entries = searchEntries;
  return searchResult;
}

int FakeLdap::searchExt(const ldap::SearchRequest& request, std::vector<ldap::Entry>& entries,
                        int& references) {
  record("searchext " + request.base + " " + std::to_string(request.scope), false);
  entries.clear();
  references = 0;
  if (searchExtResult) return searchExtResult(request, entries, references);
  // Unscripted, a subtree read finds its base and nothing below it, as a leaf account would.
  if (request.scope == ldap::kScopeSubtree) {
    entries.emplace_back();
    entries.back().dn = request.base;
  }
  return ldap::kSuccess;
}

ldap::SearchInitResult FakeLdap::searchInitPage(const ldap::PagedSearchRequest& request) {
  record("initpage", false);
  lastRequest = request;
  nextPage_ = 0;
  if (initPageFails) return {nullptr, initPageError};
  return {std::make_unique<FakePagedSearch>(), 0};
}

int FakeLdap::getNextPage(ldap::PagedSearch&, int timeoutSeconds, int pageSize,
                          std::vector<ldap::Entry>& page) {
  record("nextpage " + std::to_string(timeoutSeconds) + " " + std::to_string(pageSize), false);
  page.clear();
  size_t index = nextPage_++;
  if (index < pages.size()) page = pages[index];
  if (failAtPage >= 0 && index == static_cast<size_t>(failAtPage)) return failCode;
  return index < pages.size() ? ldap::kSuccess : ldap::kNoResultsReturned;
}

int FakeLdap::searchAbandonPage(ldap::PagedSearch&) {
  return record("abandon", false);
}

int FakeLdap::modifyReplace(std::string_view dn, std::string_view attribute,
                            std::string_view value) {
  return record(
      "modify " + std::string(dn) + " " + std::string(attribute) + " " + std::string(value), true);
}

int FakeLdap::deleteExt(std::string_view dn, const std::vector<ldap::Control>& serverControls) {
  std::string call = "delete " + std::string(dn);
  for (const auto& control : serverControls) {
    call += " " + control.oid + ":" + (control.critical ? "1" : "0");
  }
  return record(call, true);
}

int FakeLdap::renameExt(std::string_view dn, std::string_view newRdn, std::string_view newParent,
                        bool deleteOldRdn) {
  return record("rename " + std::string(dn) + " " + std::string(newRdn) + " " +
                    std::string(newParent) + " " + (deleteOldRdn ? "1" : "0"),
                true);
}

std::vector<std::string> FakeLdap::writes() const {
  std::vector<std::string> result;
  for (const auto& call : calls) {
    if (call.rfind("modify ", 0) == 0 || call.rfind("delete ", 0) == 0 ||
        call.rfind("rename ", 0) == 0) {
      result.push_back(call);
    }
  }
  return result;
}

DirectorySession fakeSession(FakeLdap** fake) {
  auto connection = std::make_unique<FakeLdap>();
  *fake = connection.get();
  DirectorySession session;
  session.connection = std::move(connection);
  return session;
}

ldap::Entry makeEntry(const std::string& dn,
                      const std::vector<std::pair<std::string, std::string>>& attributes) {
  ldap::Entry entry;
  entry.dn = dn;
  for (const auto& [name, value] : attributes) entry.attributes.push_back({name, {value}});
  return entry;
}

}  // namespace tavrel::testing
