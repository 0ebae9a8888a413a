// SPDX-License-Identifier: Apache-2.0
#include "common/account_control.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

using State = AccountControlState;

TEST(AccountControlTest, OnlyOnePlainDecimalValueIsTrusted) {
  struct Case {
    const char* value;  // nullptr: the attribute is absent
    State state;
    std::uint32_t flags;
  } cases[] = {
      {"4096", State::kReadable, 4096},
      {"532480", State::kReadable, 532480},
      {"0", State::kReadable, 0},
      {"000066", State::kReadable, 66},
      {"4294967295", State::kReadable, 0xFFFFFFFFu},
      {"-2147483648", State::kReadable, 0x80000000u},
      {"-2", State::kReadable, 0xFFFFFFFEu},
      {nullptr, State::kMissing, 0},
      {"", State::kNotDecimal, 0},
      {"-", State::kNotDecimal, 0},
      {"0x2002", State::kNotDecimal, 0},
      {"+4096", State::kNotDecimal, 0},
      {" 4096", State::kNotDecimal, 0},
      {"4096 ", State::kNotDecimal, 0},
      {"532480x", State::kNotDecimal, 0},
      {"4294967296", State::kNotDecimal, 0},
      {"-2147483649", State::kNotDecimal, 0},
      {"99999999999999999999999", State::kNotDecimal, 0},
  };
  for (const Case& c : cases) {
    ObjectRecord record;
    record.set("DN", "cn=a,dc=x");
    if (c.value != nullptr) record.set("userAccountControl", c.value);
    AccountControl read = readAccountControl(record);
    EXPECT_EQ(read.state, c.state) << (c.value ? c.value : "(absent)");
    EXPECT_EQ(read.flags, c.flags) << (c.value ? c.value : "(absent)");
  }
}

TEST(AccountControlTest, SeveralValuesAreNeverTrustedAndNoBitReadsSet) {
  ObjectRecord record;
  record.set("userAccountControl", "532482");
  EXPECT_TRUE(readAccountControl(record).has(kAccountDomainController));
  markSeveralAccountControlValues(record);
  AccountControl read = readAccountControl(record);
  EXPECT_EQ(read.state, State::kSeveralValues);
  EXPECT_FALSE(read.has(kAccountDomainController));
  EXPECT_FALSE(read.has(kAccountDisabled));
  // The value itself stays for the report.
  EXPECT_EQ(record.get("userAccountControl"), "532482");
}

}  // namespace
}  // namespace tavrel
