// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <string>

#include "common/private_file.h"

namespace tavrel::files {

namespace {

thread_local DWORD lastFailure = 0;

std::string systemText(DWORD code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.')) {
    out.pop_back();
  }
  return out.empty() ? "error " + std::to_string(code) : out;
}

std::string fail() {
  lastFailure = GetLastError();
  return systemText(lastFailure);
}

HANDLE raw(Handle handle) {
  return reinterpret_cast<HANDLE>(handle.value);
}

std::string folderOf(const std::string& name) {
  const std::size_t slash = name.find_last_of("\\/");
  if (slash == std::string::npos) return ".";
  return name.substr(0, slash + 1);
}

/// "D:P(A;;FA;;;<the running user's SID>)": the user who runs the program, and nobody else,
/// may open the file. The SID is named rather than Owner Rights, which not every system maps
/// to the user that made the file (wine grants nobody then, not even its own delete).
std::string ownerOnlyDescriptor() {
  std::string sddl = "D:P(A;;FA;;;OW)";
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return sddl;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::string buffer(size, '\0');
  char* sidText = nullptr;
  if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
      ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sidText)) {
    sddl = std::string("D:P(A;;FA;;;") + sidText + ")";
    LocalFree(sidText);
  }
  CloseHandle(token);
  return sddl;
}

}  // namespace

std::string lastError() {
  return systemText(lastFailure);
}

Opened createPrivate(const std::string& name) {
  Opened opened;
  // Protected, and granting all access to the owner only: nobody else can read old values.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const std::string sddl = ownerOnlyDescriptor();
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    opened.error = fail();
    return opened;
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  // CREATE_NEW refuses any existing name; a reparse point (link) is not followed.
  HANDLE file =
      CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, &attributes,
                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  LocalFree(descriptor);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    opened.exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
    opened.error = fail();
    return opened;
  }
  opened.handle.value = reinterpret_cast<std::intptr_t>(file);
  return opened;
}

Opened openRegularForWriting(const std::string& name, bool append) {
  Opened opened;
  HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    opened.error = fail();
    return opened;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool isDisk = GetFileType(file) == FILE_TYPE_DISK;
  if (!isDisk || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    opened.error = std::string(kNotRegular);
    CloseHandle(file);
    return opened;
  }
  if (!append && !SetEndOfFile(file)) {
    opened.error = fail();
    CloseHandle(file);
    return opened;
  }
  const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(file),
                                 (append ? _O_APPEND : 0) | _O_TEXT | _O_WRONLY);
  if (fd < 0) {
    opened.error = fail();
    CloseHandle(file);
    return opened;
  }
  opened.stream = _fdopen(fd, append ? "a" : "w");
  if (opened.stream == nullptr) {
    opened.error = fail();
    _close(fd);
  }
  return opened;
}

bool existsNotRegular(const std::string& name) {
  const DWORD attributes = GetFileAttributesA(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return (attributes &
          (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0;
}

std::string folderProblem(const std::string& name) {
  const DWORD attributes = GetFileAttributesA(folderOf(name).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return fail();
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return systemText(ERROR_DIRECTORY);
  return {};
}

bool writeAt(Handle handle, std::uint64_t offset, std::string_view data) {
  while (!data.empty()) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    const DWORD chunk = data.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(data.size());
    if (!WriteFile(raw(handle), data.data(), chunk, &written, &at) || written == 0) {
      fail();
      return false;
    }
    data.remove_prefix(written);
    offset += written;
  }
  return true;
}

bool syncData(Handle handle) {
  if (FlushFileBuffers(raw(handle))) return true;
  fail();
  return false;
}

bool resize(Handle handle, std::uint64_t size) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(size);
  if (SetFilePointerEx(raw(handle), at, nullptr, FILE_BEGIN) && SetEndOfFile(raw(handle))) {
    return true;
  }
  fail();
  return false;
}

bool close(Handle& handle) {
  if (!handle.open()) return true;
  const bool ok = CloseHandle(raw(handle)) != 0;
  if (!ok) fail();
  handle.value = -1;
  return ok;
}

}  // namespace tavrel::files
