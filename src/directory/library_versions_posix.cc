// SPDX-License-Identifier: Apache-2.0
// Versions of OpenLDAP's libldap and Cyrus SASL as the loaded libraries report them.

#include <ldap.h>
#include <sasl/sasl.h>

#include <string_view>

#include "directory/library_versions.h"

namespace tavrel::ldap {

namespace {

constexpr std::string_view kLdapLabel = "libldap: ";
constexpr std::string_view kSaslLabel = "SASL: ";
constexpr std::string_view kUnknown = "unknown";

// libldap writes its release as major * 10000 + minor * 100 + patch (20513 is 2.5.13).
std::string ldapVersion() {
  LDAPAPIInfo info{};
  info.ldapai_info_version = LDAP_API_INFO_VERSION;
  if (ldap_get_option(nullptr, LDAP_OPT_API_INFO, &info) != LDAP_OPT_SUCCESS) {
    return std::string(kUnknown);
  }
  std::string text = info.ldapai_vendor_name != nullptr ? info.ldapai_vendor_name : "libldap";
  int release = info.ldapai_vendor_version;
  text += ' ';
  text += std::to_string(release / 10000);
  text += '.';
  text += std::to_string(release / 100 % 100);
  text += '.';
  text += std::to_string(release % 100);
  ldap_memfree(info.ldapai_vendor_name);
  ldap_memvfree(reinterpret_cast<void**>(info.ldapai_extensions));
  return text;
}

std::string saslVersion() {
  const char* implementation = nullptr;
  const char* version = nullptr;
  sasl_version_info(&implementation, &version, nullptr, nullptr, nullptr, nullptr);
  if (version == nullptr) return std::string(kUnknown);
  std::string text = implementation != nullptr ? implementation : "SASL";
  text += ' ';
  text += version;
  return text;
}

}  // namespace

std::string libraryVersionLines() {
  std::string lines(kLdapLabel);
  lines += ldapVersion();
  lines += '\n';
  lines += kSaslLabel;
  lines += saslVersion();
  lines += '\n';
  return lines;
}

}  // namespace tavrel::ldap
