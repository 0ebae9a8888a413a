// SPDX-License-Identifier: Apache-2.0
#include "query/dc_logon_search.h"

#include <algorithm>
#include <memory>
#include <string_view>

#include "common/console.h"
#include "common/interrupt.h"
#include "common/text.h"
#include "query/dn_key.h"
#include "query/int8.h"
#include "query/paging_guard.h"

namespace tavrel {

namespace {

constexpr std::string_view kLastLogon = "lastLogon";
constexpr std::string_view kServerTrustFilter = "(userAccountControl:1.2.840.113556.1.4.803:=8192)";
constexpr std::string_view kNoControllers = "ERROR: -lastlogon: no domain controller found under ";
constexpr std::string_view kSearchFailed = "ERROR: -lastlogon: the search of ";
constexpr std::string_view kDebugSeen = "DEBUG: Logged on since the threshold at ";

/// The value of an attribute of the entry, compared without regard to letter case.
const std::string* valueOf(const ldap::Entry& entry, std::string_view name) {
  for (const ldap::Attribute& attribute : entry.attributes) {
    if (!attribute.values.empty() && equalsIgnoringCase(attribute.name, name)) {
      return &attribute.values.back();
    }
  }
  return nullptr;
}

}  // namespace

std::vector<std::string> domainControllerNames(DirectorySession& session,
                                               const std::string& domainDn) {
  std::vector<ldap::Entry> entries;
  const int code =
      session.connection->search(domainDn, ldap::kScopeSubtree, kServerTrustFilter, entries);
  std::vector<std::string> names;
  for (const ldap::Entry& entry : entries) {
    if (const std::string* name = valueOf(entry, "dNSHostName"); name != nullptr) {
      names.push_back(*name);
    }
  }
  if (code != ldap::kSuccess || names.empty()) {
    std::string line = std::string(kNoControllers) + domainDn;
    if (code != ldap::kSuccess) line += formatText(" (%d: ", code) + ldap::err2string(code) + ")";
    console::err(line + "\n");
    names.clear();
  }
  return names;
}

std::string recentLogonFilter(const std::string& filter, const std::string& thresholdText) {
  return "(&" + filter + "(lastLogon>=" + thresholdText + "))";
}

DcLogons searchDcLogons(const std::string& server, const ldap::BindIdentity* identity,
                        const RunSettings& settings, const std::string& base,
                        const std::string& filter) {
  DcLogons answer;
  answer.server = server;
  console::debugErr("DEBUG: OpenLDAP - [" + server + "]\n");
  std::optional<DirectorySession> session = OpenLDAP(server, false, identity);
  if (!session) return answer;
  ldap::Connection& connection = *session->connection;
  ldap::PagedSearchRequest request;
  request.base = base;
  request.scope = contains(settings.scope, "sub") ? ldap::kScopeSubtree : ldap::kScopeOneLevel;
  request.filter = filter;
  request.attributes = {"distinguishedName", std::string(kLastLogon)};
  request.timeLimitSeconds = settings.timeoutSeconds;
  ldap::SearchInitResult started = connection.searchInitPage(request);
  if (!started.search) {
    console::err(std::string(kSearchFailed) + server +
                 formatText(" could not be started (%d)\n", started.error));
    connection.unbind();
    return answer;
  }
  PagingGuard guard;
  guard.pageSize = settings.pageSize;
  std::vector<ldap::Entry> page;
  for (;;) {
    if (interrupted()) break;
    const int code =
        connection.getNextPage(*started.search, settings.timeoutSeconds, settings.pageSize, page);
    if (code == ldap::kNoResultsReturned) {
      answer.complete = true;
      break;
    }
    if (code != ldap::kSuccess) {
      reportLdapError("ldap_get_next_page_s", server, code);
      break;
    }
    long long fresh = 0;
    for (const ldap::Entry& entry : page) {
      const std::string* value = valueOf(entry, kLastLogon);
      const Int8 logon = value != nullptr ? parseInt8(*value) : 0;
      auto [at, inserted] = answer.newest.try_emplace(dnKey(entry.dn), logon);
      if (inserted) {
        ++fresh;
      } else {
        at->second = std::max(at->second, logon);
      }
    }
    const PagingVerdict verdict = notePage(guard, fresh, connection.pageCookie(*started.search));
    if (verdict != PagingVerdict::kGoOn) {
      console::err(std::string(kSearchFailed) + server +
                   " was stopped: " + pagingStopReason(guard, verdict) + "\n");
      break;
    }
  }
  if (!answer.complete) connection.searchAbandonPage(*started.search);
  started.search.reset();
  connection.unbind();
  return answer;
}

std::string applyDcLogons(ObjectStore& objects, const std::vector<DcLogons>& answers) {
  std::string unanswered;
  for (const DcLogons& answer : answers) {
    if (!answer.complete && unanswered.empty()) unanswered = answer.server;
  }
  std::erase_if(objects, [&](ObjectRecord& record) {
    const std::string key = dnKey(record.get("DN"));
    for (const DcLogons& answer : answers) {
      const auto seen = answer.newest.find(key);
      if (seen == answer.newest.end()) continue;
      // Every account a server returned logged on there since the threshold.
      console::debugErr(std::string(kDebugSeen) + answer.server + " - " +
                        std::string(record.get("DN")) + "\n");
      return true;
    }
    return false;
  });
  return unanswered;
}

}  // namespace tavrel
