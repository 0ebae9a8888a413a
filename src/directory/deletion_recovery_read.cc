// SPDX-License-Identifier: Apache-2.0
#include "directory/deletion_recovery_read.h"

#include <string>
#include <vector>

#include "common/text.h"

namespace tavrel {

namespace {

constexpr std::string_view kPartitions = "CN=Partitions,";
constexpr std::string_view kDirectoryService = "CN=Directory Service,CN=Windows NT,CN=Services,";
constexpr std::string_view kEnabledFeature = "msDS-EnabledFeature";
constexpr std::string_view kTombstoneLifetime = "tombstoneLifetime";
constexpr std::string_view kRecycleBinRdn = "cn=recycle bin feature,";

/// The values of one attribute of the object at `dn`, or none when the read failed.
bool readValues(DirectorySession& session, std::string dn, std::string_view attribute,
                std::vector<std::string>& values) {
  ldap::SearchRequest request;
  request.base = std::move(dn);
  request.attributes = {std::string(attribute)};
  std::vector<ldap::Entry> entries;
  int references = 0;
  if (session.connection->searchExt(request, entries, references) != 0 || entries.size() != 1) {
    return false;
  }
  values.clear();
  for (const ldap::Attribute& found : entries.front().attributes) {
    if (lowerCase(found.name) == lowerCase(attribute)) values = found.values;
  }
  return true;
}

}  // namespace

DeletionRecovery readDeletionRecovery(DirectorySession& session, std::string_view configurationNc) {
  DeletionRecovery recovery;
  if (configurationNc.empty()) return recovery;
  std::vector<std::string> features;
  std::vector<std::string> lifetime;
  if (!readValues(session, std::string(kPartitions).append(configurationNc), kEnabledFeature,
                  features) ||
      !readValues(session, std::string(kDirectoryService).append(configurationNc),
                  kTombstoneLifetime, lifetime)) {
    return recovery;
  }
  recovery.known = true;
  for (const std::string& feature : features) {
    if (lowerCase(feature).starts_with(kRecycleBinRdn)) recovery.recycleBin = true;
  }
  // An absent or unusable value leaves the forest's built-in lifetime in force.
  const int days = lifetime.empty() ? 0 : readInt(lifetime.front());
  recovery.tombstoneDays = days > 0 ? days : kDefaultTombstoneDays;
  return recovery;
}

}  // namespace tavrel
