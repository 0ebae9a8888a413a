// SPDX-License-Identifier: Apache-2.0
#include "actions/write_outcome.h"

#include "common/text.h"
#include "directory/ldap_client.h"
#include "directory/session.h"

namespace tavrel {

namespace {

// An answer came but could not be read, as the program numbers it.
constexpr int kDecodingError = 0x54;

constexpr std::string_view kUnknownPrefix = "UNKNOWN OUTCOME ";

constexpr const char* kTimedOutLine =
    "ERROR: No answer to a write within the time-out; its outcome is unknown. No further "
    "writes are sent in this run.\n";
constexpr const char* kNotConnectedLine =
    "ERROR: The connection to the directory is lost; no further writes are sent in this run.\n";
constexpr const char* kConnectionLostLine =
    "ERROR: The connection to the directory failed during a write (%s); its outcome is "
    "unknown. No further writes are sent in this run.\n";

// LDAP codes for the three ways the flag word can be unfit.
constexpr int kNoSuchAttribute = 0x10;
constexpr int kConstraintViolation = 0x13;
constexpr int kInvalidSyntax = 0x15;

struct Unreadable {
  int code;
  const char* why;
};

Unreadable unreadable(AccountControlState state) {
  switch (state) {
    case AccountControlState::kMissing:
      return {kNoSuchAttribute, "missing"};
    case AccountControlState::kSeveralValues:
      return {kConstraintViolation, "more than one value"};
    default:
      return {kInvalidSyntax, "not a decimal number"};
  }
}

}  // namespace

WriteAnswer classifyWrite(int code) {
  switch (code) {
    case ldap::kSuccess:
      return WriteAnswer::kDone;
    case ldap::kServerDown:
    case kDecodingError:
    case ldap::kTimeout:
      return WriteAnswer::kUnknown;
    case ldap::kConnectError:
      return WriteAnswer::kNotSent;
    default:
      return WriteAnswer::kRefused;
  }
}

std::string writeResultText(int code) {
  std::string text =
      formatText("(0x%-2X) %s", static_cast<unsigned>(code), ldapErrorText(code).c_str());
  if (classifyWrite(code) == WriteAnswer::kUnknown) text.insert(0, kUnknownPrefix);
  return text;
}

std::string writingStoppedLine(int code) {
  if (code == ldap::kTimeout) return kTimedOutLine;
  if (code == ldap::kConnectError) return kNotConnectedLine;
  return formatText(kConnectionLostLine, ldapErrorText(code).c_str());
}

std::string unreadableResultText(AccountControlState state) {
  Unreadable u = unreadable(state);
  return formatText("(0x%-2X) userAccountControl unreadable: %s", static_cast<unsigned>(u.code),
                    u.why);
}

std::string unreadableLine(AccountControlState state, std::string_view dn) {
  return formatText("ERROR: userAccountControl unreadable (%s), not modified: %.*s\n",
                    unreadable(state).why, static_cast<int>(dn.size()), dn.data());
}

}  // namespace tavrel
