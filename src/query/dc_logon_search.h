// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_QUERY_DC_LOGON_SEARCH_H_
#define TAVREL_QUERY_DC_LOGON_SEARCH_H_

#include <string>
#include <unordered_map>
#include <vector>

#include "common/int8_value.h"
#include "common/object_record.h"
#include "common/run_settings.h"
#include "directory/ldap_client.h"
#include "directory/session.h"

namespace tavrel {

/// What one domain controller said about the logons it saw since the threshold. lastLogon is
/// kept by each controller and never replicated, so each must be asked.
struct DcLogons {
  std::string server;
  /// False when the server could not be reached or bound, or its search did not finish:
  /// an account it may have seen cannot be told stale.
  bool complete = false;
  /// The newest lastLogon of each account it returned, by DN key.
  std::unordered_map<std::string, Int8> newest;
};

/// The domain controllers of the domain: the dNSHostName of every account under
/// `domainDn` whose userAccountControl has the server-trust bit 0x2000. Empty when the
/// search failed or found none; the ERROR line says which.
std::vector<std::string> domainControllerNames(DirectorySession& session,
                                               const std::string& domainDn);

/// The run's filter, restricted to accounts that logged on since `thresholdText` (Int8).
std::string recentLogonFilter(const std::string& filter, const std::string& thresholdText);

/// One paged search of `server` (bound as `identity`, or as the logged-on user without one)
/// for the accounts that `filter` matches under `base`, asking for DN and lastLogon only.
DcLogons searchDcLogons(const std::string& server, const ldap::BindIdentity* identity,
                        const RunSettings& settings, const std::string& base,
                        const std::string& filter);

/// Drops every account that a server saw since the threshold (a DEBUG line names it); the
/// others keep the lastLogon their search brought, all any server knows of them beyond "before
/// the threshold". Returns the first server that did not answer in full, empty when all did.
std::string applyDcLogons(ObjectStore& objects, const std::vector<DcLogons>& answers);

}  // namespace tavrel

#endif  // TAVREL_QUERY_DC_LOGON_SEARCH_H_
