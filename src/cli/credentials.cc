// SPDX-License-Identifier: Apache-2.0
#include "cli/credentials.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "cli/help_text.h"
#include "common/console.h"
#include "common/file_access.h"
#include "common/terminal.h"

namespace tavrel {

namespace {

constexpr std::string_view kPromptLead = "Password for ";
constexpr std::string_view kPromptEnd = ": ";
constexpr std::string_view kUnreadableLead = "\nERROR: Cannot read the password file ";
constexpr std::string_view kNoTerminalLead = "\nERROR: No terminal to read the password for ";
constexpr std::string_view kNoTerminalEnd = " from; give it with -pwfile.\n\n";
constexpr std::string_view kEmptyLead = "\nERROR: Empty password for ";
constexpr std::string_view kWarnOthersLead = "WARN: Other users may read the password file ";
constexpr std::string_view kStandardInput = "-";

PhaseResult refuse(std::string message) {
  console::err(message);
  return PhaseResult::exit(printUsageHint());
}

// The first line, without its line break (nor the carriage return of a Windows file). True
// when the stream gave no error; an empty file reads as an empty password.
bool readFirstLine(std::FILE* stream, SecretText& line) {
  int c = 0;
  while ((c = std::getc(stream)) != EOF && c != '\n') line.append(static_cast<char>(c));
  if (!line.empty() && line.back() == '\r') line.dropLast();
  return std::ferror(stream) == 0;
}

PhaseResult readPasswordFile(const std::string& path, std::FILE* input, SecretText& password) {
  if (path == kStandardInput) {
    if (readFirstLine(input, password)) return PhaseResult::proceed();
    return refuse(std::string(kUnreadableLead) + "(standard input).\n\n");
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  bool read = file != nullptr && readFirstLine(file, password);
  int error = errno;
  if (file != nullptr) std::fclose(file);
  if (!read) {
    password.wipe();
    return refuse(std::string(kUnreadableLead) + path + ": " + std::strerror(error) + "\n\n");
  }
  if (othersMayRead(path)) console::err(std::string(kWarnOthersLead) + path + "\n");
  return PhaseResult::proceed();
}

}  // namespace

PhaseResult readBindCredentials(const RunSettings& settings, ldap::BindIdentity& identity,
                                std::FILE* input) {
  if (settings.bindUser.empty()) return PhaseResult::proceed();
  identity.user = settings.bindUser;
  if (!settings.passwordFile.empty()) {
    if (PhaseResult r = readPasswordFile(settings.passwordFile, input, identity.password); r.stop) {
      return r;
    }
  } else {
    bool typed = readHiddenLine(std::string(kPromptLead) + identity.user + std::string(kPromptEnd),
                                identity.password);
    // The line break the hidden input did not show.
    console::err("\n");
    if (!typed) {
      identity.password.wipe();
      return refuse(std::string(kNoTerminalLead) + identity.user + std::string(kNoTerminalEnd));
    }
  }
  if (identity.password.empty()) {
    return refuse(std::string(kEmptyLead) + identity.user + ".\n\n");
  }
  return PhaseResult::proceed();
}

}  // namespace tavrel
