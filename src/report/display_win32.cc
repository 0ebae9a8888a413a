// SPDX-License-Identifier: Apache-2.0
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

#include <string>

#include "common/console.h"
#include "report/display.h"

namespace tavrel {

namespace {

// The system's text for a code that has none.
constexpr std::string_view kUnknownError = "Unknown Error\n";
// Neutral language, default sublanguage: the user's own language.
constexpr DWORD kDefaultLanguage = 0x400;
// ShellExecuteEx reports success with a value above this in hInstApp.
constexpr INT_PTR kLastShellError = 32;

}  // namespace

int launchViewer(const std::string& file, const std::string& parameters) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof(info);
  info.fMask = 0;
  info.hwnd = nullptr;
  info.lpVerb = nullptr;  // the file type's default verb
  info.lpFile = file.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = nullptr;
  info.nShow = SW_SHOW;
  SetLastError(0);
  const BOOL started = ShellExecuteExA(&info);
  if (started && reinterpret_cast<INT_PTR>(info.hInstApp) > kLastShellError) return 0;
  DWORD error = GetLastError();
  // A refusal must never read as success: fall back to the shell's own code.
  if (error == 0) error = static_cast<DWORD>(reinterpret_cast<INT_PTR>(info.hInstApp));
  return error != 0 ? static_cast<int>(error) : static_cast<int>(ERROR_GEN_FAILURE);
}

void reportWin32Error(std::string_view label, int code) {
  // Appended piece by piece: GCC 12 sees a false overlap in "(" + std::string at -O2/-O3.
  std::string text(label);
  text += '(';
  text += std::to_string(code);
  text += ") ";
  char* message = nullptr;
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                      nullptr, static_cast<DWORD>(code), kDefaultLanguage,
                                      reinterpret_cast<LPSTR>(&message), 0, nullptr);
  // System texts end with their own line break.
  if (length != 0 && message != nullptr) {
    text.append(message, length);
  } else {
    text += kUnknownError;
  }
  if (message != nullptr) LocalFree(message);
  console::err(text);
}

}  // namespace tavrel
