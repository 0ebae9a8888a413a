// SPDX-License-Identifier: Apache-2.0
#include "query/paged_search.h"

#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/account_control.h"
#include "common/console.h"
#include "common/interrupt.h"
#include "common/text.h"
#include "directory/ldap_client.h"
#include "query/dn_key.h"
#include "query/paging_guard.h"

namespace tavrel {

namespace {

constexpr std::string_view kSpinner = "|/-\\";
/// Not a result code any client returns: the loop's own reason to abandon the search.
constexpr int kStoppedByGuard = -1;
constexpr const char* kInitPageFailed = "LDAP_SEARCH_INIT_PAGE FAILED: WinError=%d\n\n";
constexpr std::string_view kNextPageLabel = "ldap_get_next_page_s";
constexpr std::string_view kSearchCompleted = "Search completed...\n";
constexpr std::string_view kDebugInitialized = "DEBUG: Search Initialized...\n";
constexpr std::string_view kDebugHaveHandle = "DEBUG: Have valid Search Handle...\n";
constexpr std::string_view kDebugRetrieving = "DEBUG: Retrieving Page...\n";
constexpr const char* kDebugObjectCount = "DEBUG: Object Count: %d\n";
constexpr const char* kDebugMatched = "%d objects matched\n";
constexpr std::string_view kDebugDuplicate = "DEBUG: Duplicate DN dropped - ";
constexpr std::string_view kPagingStopped = "ERROR: Search stopped: ";
// A server may return, or a reference lead to, names outside what was asked for; acting on
// them would act on accounts nobody chose.
constexpr const char* kOutsideBase = "WARN: Entry dropped, outside the search base %s: %s\n";
constexpr const char* kOutsideReferral =
    "WARN: Entry dropped, outside the base %s of the referral to %s: %s\n";

/// Names whose values are machine or account names, shown in one case unless -nolc.
bool isNameAttribute(std::string_view name) {
  return contains(name, "cn") || contains(name, "sAMAccountName") || contains(name, "dNSHostName");
}

ldap::PagedSearchRequest makeRequest(const RunSettings& settings, const std::string& base,
                                     const std::string& filter, const AttributeList& attributes,
                                     const SortSpec& sort) {
  ldap::PagedSearchRequest request;
  request.base = base;
  if (contains(settings.scope, "sub")) {
    request.scope = ldap::kScopeSubtree;
  } else if (contains(settings.scope, "one")) {
    request.scope = ldap::kScopeOneLevel;
  }
  request.filter = filter;
  request.attributes = attributes.names;
  request.attributes.insert(request.attributes.end(), attributes.guardOnly.begin(),
                            attributes.guardOnly.end());
  request.timeLimitSeconds = settings.timeoutSeconds;
  if (sort.sendKey) request.sortKey = ldap::SortKey{sort.sortAttribute, sort.reverse};
  request.forWriting = isModifying(settings.action);
  return request;
}

/// The first exclusion item found in the lower-cased DN, or none.
const std::string* exclusionFor(const std::string& lowerDn,
                                const std::vector<std::string>& exclusions) {
  for (const auto& item : exclusions) {
    if (contains(lowerDn, item)) return &item;
  }
  return nullptr;
}

enum class Collected { kKept, kExcluded, kListed, kDuplicate, kOutside };

/// Whether the entry lies within the search base and within the base its reference named;
/// says which it is not, when not.
bool withinBases(const ldap::Entry& entry, const std::string& key, const std::string& base,
                 const std::string& baseKey) {
  if (!keyWithin(key, baseKey)) {
    console::err(formatText(kOutsideBase, base.c_str(), entry.dn.c_str()));
    return false;
  }
  if (!entry.heldBy.empty() && !dnWithin(entry.dn, entry.referredBase)) {
    console::err(formatText(kOutsideReferral, entry.referredBase.c_str(), entry.heldBy.c_str(),
                            entry.dn.c_str()));
    return false;
  }
  return true;
}

/// The account is named in the -exclfile list, by its DN or by its account name.
bool isListed(const ldap::Entry& entry, const std::string& key, const AccountList& list) {
  if (list.dnKeys.empty() && list.names.empty()) return false;
  if (list.dnKeys.contains(key)) return true;
  for (const auto& attribute : entry.attributes) {
    if (attribute.values.empty() || !equalsIgnoringCase(attribute.name, "sAMAccountName")) {
      continue;
    }
    std::string name = lowerCase(attribute.values.back());
    if (!name.empty() && name.back() == '$') name.pop_back();
    return list.names.contains(name);
  }
  return false;
}

/// Every service principal name of the account, one per line: the cluster guard must see
/// them all, a column keeps only the last.
void keepAllValues(const std::vector<std::string>& values, ObjectRecord& record) {
  std::string all;
  for (const std::string& value : values) {
    if (!all.empty()) all += '\n';
    all += value;
  }
  record.set(kPrincipalNamesKey, all);
}

/// Turns one entry into a record unless it was seen before in this search (an account is
/// acted on once, however often and by whatever route it arrives) or an exclusion drops it.
/// Attribute names are stored as the run requested them, whatever letter case the server
/// used. The entry is the search's own copy, so values are lower-cased where they lie.
/// `lowerDn` and `record` are kept from entry to entry (100,000 objects, no allocation
/// each); the store takes an exactly sized copy of the record.
Collected collectEntry(ldap::Entry& entry, const std::string& base, const std::string& baseKey,
                       const RunSettings& settings, const AttributeList& attributes,
                       const std::vector<bool>& nameColumns, std::unordered_set<std::string>& seen,
                       std::string& lowerDn, ObjectRecord& record) {
  std::string entryKey = dnKey(entry.dn);
  if (!withinBases(entry, entryKey, base, baseKey)) return Collected::kOutside;
  const auto [key, firstTime] = seen.insert(std::move(entryKey));
  if (!firstTime) {
    console::debugErr(std::string(kDebugDuplicate) + entry.dn + "\n");
    return Collected::kDuplicate;
  }
  lowerDn.assign(entry.dn);
  lowerCaseInPlace(lowerDn);
  if (const std::string* item = exclusionFor(lowerDn, settings.dnExclusions)) {
    console::debugOut("DEBUG: Excluded DN (" + *item + ") - " + entry.dn + "\n");
    return Collected::kExcluded;
  }
  if (isListed(entry, *key, settings.listedAccounts)) {
    console::debugOut("DEBUG: Excluded by list - " + entry.dn + "\n");
    return Collected::kListed;
  }
  if (console::debug()) console::err(entry.dn + "\n");

  record.clear();
  record.set("DN", settings.lowerCaseNames ? lowerDn : entry.dn);
  if (settings.lowerCaseNames && !settings.newParent.empty()) record.set(kStoredDnKey, entry.dn);
  if (!entry.heldBy.empty()) record.set(kHeldByKey, entry.heldBy);
  std::size_t accountControlValues = 0;
  const bool keepPrincipalNames = isModifying(settings.action);
  for (auto& attribute : entry.attributes) {
    if (attribute.values.empty()) continue;
    if (keepPrincipalNames && equalsIgnoringCase(attribute.name, kPrincipalNameAttribute)) {
      keepAllValues(attribute.values, record);
      // A value requested for the guards alone is no column.
      if (requestedName(attributes, attribute.name) == nullptr) continue;
    }
    const std::string* requested = requestedName(attributes, attribute.name);
    const std::string& name = requested != nullptr ? *requested : attribute.name;
    if (equalsIgnoringCase(name, kAccountControlAttribute)) {
      accountControlValues += attribute.values.size();
    }
    // Only the last value of an attribute is kept.
    std::string& last = attribute.values.back();
    if (settings.lowerCaseNames &&
        (requested != nullptr ? nameColumns[requested - attributes.names.data()]
                              : isNameAttribute(name))) {
      lowerCaseInPlace(last);
    }
    record.set(name, last);
  }
  // The guards must not decide on one of several values.
  if (accountControlValues > 1) markSeveralAccountControlValues(record);
  return Collected::kKept;
}

}  // namespace

SearchOutcome runPagedSearch(DirectorySession& session, const RunSettings& settings,
                             const RootDseInfo& rootDse, const std::string& base,
                             const std::string& filter, const AttributeList& attributes,
                             const SortSpec& sort, const RecordSink& sink) {
  SearchOutcome outcome;
  ldap::Connection& connection = *session.connection;
  int matched = 0;

  ldap::SearchInitResult started =
      connection.searchInitPage(makeRequest(settings, base, filter, attributes, sort));
  std::unique_ptr<ldap::PagedSearch>& search = started.search;
  console::debugErr(kDebugInitialized);
  if (!search) {
    console::out(formatText(kInitPageFailed, started.error));
    outcome.complete = false;
    outcome.incompleteReason = "the search could not be started";
  } else {
    console::debugErr(kDebugHaveHandle);
    std::size_t spinner = 0;
    std::vector<ldap::Entry> page;
    std::string lowerDn;
    ObjectRecord record;
    std::unordered_set<std::string> seen;
    const std::string baseKey = dnKey(base);
    // Which requested attributes hold names, worked out once instead of for every entry.
    std::vector<bool> nameColumns;
    for (const std::string& name : attributes.names) nameColumns.push_back(isNameAttribute(name));
    PagingGuard guard;
    guard.pageSize = settings.pageSize;
    for (;;) {
      // Asked to stop: what arrived is kept and reported as all there is.
      if (interrupted()) {
        outcome.complete = false;
        outcome.incompleteReason = kInterruptedReason;
        connection.searchAbandonPage(*search);
        break;
      }
      console::debugErr(kDebugRetrieving);
      int code = connection.getNextPage(*search, settings.timeoutSeconds, settings.pageSize, page);
      matched += static_cast<int>(page.size());
      console::debugErr(formatText(kDebugObjectCount, matched));
      if (code == ldap::kSuccess) {
        if (!console::debug() && !console::quiet() && console::outIsTerminal()) {
          console::out(std::string(1, kSpinner[spinner]) + "\r");
          spinner = (spinner + 1) % kSpinner.size();
        }
        const std::size_t seenBefore = seen.size();
        for (auto& entry : page) {
          const Collected collected = collectEntry(entry, base, baseKey, settings, attributes,
                                                   nameColumns, seen, lowerDn, record);
          if (collected == Collected::kKept) {
            if (sink) {
              sink(record);
            } else {
              outcome.objects.push_back(record);
            }
          } else {
            --matched;
            if (collected == Collected::kListed) ++outcome.heldBackByList;
          }
        }
        const PagingVerdict verdict =
            notePage(guard, static_cast<long long>(seen.size() - seenBefore),
                     connection.pageCookie(*search));
        if (verdict != PagingVerdict::kGoOn) {
          // A server that pages without end would hold the run for ever.
          const std::string reason = pagingStopReason(guard, verdict);
          console::err(std::string(kPagingStopped) + reason + "\n");
          outcome.complete = false;
          outcome.incompleteReason = "the search was stopped: " + reason;
          code = kStoppedByGuard;
        }
      } else if (code != ldap::kNoResultsReturned) {
        reportLdapError(kNextPageLabel, rootDse.dnsHostName, code);
        // A paged search names no object but its base: "No such object" means the base.
        if (code == ldap::kNoSuchObject) {
          console::err("ERROR: Search base " + base + " does not exist.\n");
        }
        console::out("\n");
        outcome.complete = false;
        outcome.incompleteReason =
            formatText("the search failed with %d (", code) + ldap::err2string(code) + ")";
      }
      if (code != ldap::kSuccess) {
        connection.searchAbandonPage(*search);
        break;
      }
    }
  }

  console::debugErr(formatText(kDebugMatched, matched));
  console::progress(kSearchCompleted);
  outcome.finishTime = int8Now();
  outcome.finishText = int8Text(outcome.finishTime);
  outcome.finishDate = int8DateText(outcome.finishText);
  return outcome;
}

ObjectAges objectAges(const ObjectRecord& record, Int8 finishTime) {
  return {int8AgeDays(record.get("pwdLastSet"), finishTime),
          int8AgeDays(record.get("lastLogonTimestamp"), finishTime)};
}

}  // namespace tavrel
