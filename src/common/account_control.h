// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_COMMON_ACCOUNT_CONTROL_H_
#define TAVREL_COMMON_ACCOUNT_CONTROL_H_

#include <cstdint>
#include <string_view>

#include "common/object_record.h"

namespace tavrel {

/// The record key of an account's flag word, spelled as the program requests it.
constexpr std::string_view kAccountControlAttribute = "userAccountControl";

constexpr std::uint32_t kAccountDisabled = 0x2;
constexpr std::uint32_t kAccountDomainController = 0x2000;

/// Why an account's flag word cannot be trusted, or kReadable when it can.
enum class AccountControlState { kReadable, kMissing, kSeveralValues, kNotDecimal };

/// userAccountControl as the guards may use it. The domain-controller and only-disabled
/// guards decide whether the directory is written, so they trust the value only when the
/// server sent exactly one and it is a plain decimal number; `flags` is 0 otherwise.
struct AccountControl {
  AccountControlState state = AccountControlState::kMissing;
  std::uint32_t flags = 0;

  bool readable() const { return state == AccountControlState::kReadable; }
  bool has(std::uint32_t bit) const { return readable() && (flags & bit) != 0; }
};

/// Reads the record's userAccountControl strictly: an optional "-" and decimal digits,
/// nothing else, within 32 bits (signed or unsigned).
AccountControl readAccountControl(const ObjectRecord& record);

/// Records that the server sent more than one userAccountControl value for the object
/// (the record itself keeps only the last one), so that the guards refuse to read it.
void markSeveralAccountControlValues(ObjectRecord& record);

}  // namespace tavrel

#endif  // TAVREL_COMMON_ACCOUNT_CONTROL_H_
