// The version of the wldap32.dll this process has loaded, from the DLL's version resource.
// There is no SASL library of its own on Windows: wldap32 binds with the Negotiate package of
// the system's SSPI, which is part of the operating system.

#include "directory/library_versions.h"

// clang-format off
#include <windows.h>
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

std::string ldapVersion() {
  HMODULE module = GetModuleHandleA(kLdapModule);
  char path[MAX_PATH];
  if (module == nullptr || GetModuleFileNameA(module, path, MAX_PATH) == 0) {
    return std::string(kUnknown);
  }
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return std::string(kUnknown);
  std::vector<char> block(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  if (!GetFileVersionInfoA(path, 0, size, block.data()) ||
      !VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) ||
      fixed == nullptr) {
    return std::string(kUnknown);
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
