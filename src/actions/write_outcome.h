// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_ACTIONS_WRITE_OUTCOME_H_
#define TAVREL_ACTIONS_WRITE_OUTCOME_H_

#include <string>
#include <string_view>

#include "common/account_control.h"

namespace tavrel {

/// How the directory answered one write, as far as the client can know.
enum class WriteAnswer {
  kDone,     ///< result 0
  kRefused,  ///< the server answered with an error: nothing was changed
  kUnknown,  ///< no answer within the time-out, or the connection was lost: the write may
             ///< still have been applied
  kNotSent,  ///< the connection was gone before the write could leave: nothing changed, and
             ///< nothing more can be written
};

/// The answer a write's result code stands for. Time-out, lost connection and an answer
/// that could not be decoded give no word from the server about the write, so its outcome
/// is unknown. A connect error means the write never left. Any other code is a refusal
/// (a local error included: the client holds a write back with it before sending).
WriteAnswer classifyWrite(int code);

/// True when no write may follow one that ended with `code`.
inline bool stopsWriting(int code) {
  WriteAnswer answer = classifyWrite(code);
  return answer == WriteAnswer::kUnknown || answer == WriteAnswer::kNotSent;
}

/// The RESULT text of a write: "(0x%-2X) <client text>", prefixed with "UNKNOWN OUTCOME "
/// when the write got no answer, so that the report never passes it off as a refusal.
std::string writeResultText(int code);

/// RESULT of an object left alone because writing stopped earlier in the run.
constexpr std::string_view kResultNotAttempted = "NOT ATTEMPTED: writing stopped";
/// The result of an account the run did not reach because it was asked to stop.
constexpr std::string_view kResultInterrupted = "NOT ATTEMPTED: interrupted";

/// The error line that says why writing stops after a write that ended with `code`.
std::string writingStoppedLine(int code);

/// RESULT of an object whose userAccountControl cannot be trusted, in the "(0x%-2X) %s" shape
/// with the LDAP code that fits the fault; and the error line that goes with it.
std::string unreadableResultText(AccountControlState state);
std::string unreadableLine(AccountControlState state, std::string_view dn);

}  // namespace tavrel

#endif  // TAVREL_ACTIONS_WRITE_OUTCOME_H_
