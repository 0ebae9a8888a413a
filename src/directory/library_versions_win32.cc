// SPDX-License-Identifier: Apache-2.0
// The version of the wldap32.dll this process has loaded, from the DLL's version resource.
// There is no SASL library of its own on Windows: wldap32 binds with the Negotiate package of
// the system's SSPI, which is part of the operating system.

#include "directory/library_versions.h"

// clang-format off
#include <windows.h>
#include <winldap.h>
#include <winver.h>
// clang-format on

#include <string_view>
#include <vector>

namespace tavrel::ldap {

namespace {

constexpr std::string_view kLdapLabel = "libldap: wldap32 ";
constexpr std::string_view kSaslLabel = "SASL: ";
constexpr std::string_view kUnknown = "unknown";
constexpr std::string_view kSspiText = "Windows SSPI (Negotiate)";
constexpr char kLdapModule[] = "wldap32.dll";

// What the library says of itself: "Microsoft Corporation. 510" on Windows. It answers
// only on a session handle, which ldap_init makes without connecting anywhere.
std::string ldapApiVersion() {
  LDAP* ld = ldap_initA(nullptr, LDAP_PORT);
  if (ld == nullptr) return std::string(kUnknown);
  LDAPAPIInfoA info{};
  info.ldapai_info_version = LDAP_API_INFO_VERSION;
  std::string text(kUnknown);
  if (ldap_get_option(ld, LDAP_OPT_API_INFO, &info) == LDAP_SUCCESS) {
    text = info.ldapai_vendor_name != nullptr ? info.ldapai_vendor_name : "";
    text += ' ';
    text += std::to_string(info.ldapai_vendor_version);
    if (info.ldapai_vendor_name != nullptr) ldap_memfreeA(info.ldapai_vendor_name);
    if (info.ldapai_extensions != nullptr) ldap_value_freeA(info.ldapai_extensions);
  }
  ldap_unbind(ld);
  return text;
}

// The file version of the loaded DLL, e.g. 10.0.19041.3636.
std::string ldapVersion() {
  HMODULE module = GetModuleHandleA(kLdapModule);
  char path[MAX_PATH];
  if (module == nullptr || GetModuleFileNameA(module, path, MAX_PATH) == 0) {
    return ldapApiVersion();
  }
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return ldapApiVersion();
  std::vector<char> block(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  if (!GetFileVersionInfoA(path, 0, size, block.data()) ||
      !VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) ||
      fixed == nullptr) {
    return ldapApiVersion();
  }
  std::string text = std::to_string(HIWORD(fixed->dwFileVersionMS));
  text += '.';
  text += std::to_string(LOWORD(fixed->dwFileVersionMS));
  text += '.';
  text += std::to_string(HIWORD(fixed->dwFileVersionLS));
  text += '.';
  text += std::to_string(LOWORD(fixed->dwFileVersionLS));
  return text;
}

}  // namespace

std::string libraryVersionLines() {
  std::string lines(kLdapLabel);
  lines += ldapVersion();
  lines += '\n';
  lines += kSaslLabel;
  lines += kSspiText;
  lines += '\n';
  return lines;
}

}  // namespace tavrel::ldap
