// SPDX-License-Identifier: Apache-2.0
#include "common/object_record.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrel {
namespace {

using namespace std::string_literals;

TEST(ObjectRecordTest, KeysAreCaseSensitiveAndAbsentKeysReadEmpty) {
  ObjectRecord record;
  record.set("cn", "pc1");
  record.set("CN", "PC1");
  record.set("", "empty key");
  EXPECT_EQ(record.get("cn"), "pc1");
  EXPECT_EQ(record.get("CN"), "PC1");
  EXPECT_EQ(record.get("Cn"), "");
  EXPECT_FALSE(record.has("Cn"));
  EXPECT_EQ(record.get(""), "empty key");
  EXPECT_FALSE(record.has("c"));
  EXPECT_FALSE(record.has("cnx"));
}

TEST(ObjectRecordTest, LastValueWinsWhateverTheLengths) {
  ObjectRecord record;
  record.set("DN", "cn=a,dc=x");
  record.set("cn", "a");
  record.set("RESULT", "");
  // Same length, shorter, longer, empty, and back: the neighbours must not move.
  for (const std::string value : {"b", "", "a much longer value than before", "c", ""}) {
    record.set("cn", value);
    EXPECT_EQ(record.get("cn"), value);
    EXPECT_TRUE(record.has("cn"));
    EXPECT_EQ(record.get("DN"), "cn=a,dc=x");
    EXPECT_EQ(record.get("RESULT"), "");
    EXPECT_TRUE(record.has("RESULT"));
  }
}

TEST(ObjectRecordTest, ValuesKeepEveryByteAndLength) {
  const std::string withNul = "a\0b\0\xff\xfe"s;
  const std::string megabyte(1 << 20, '\x80');
  std::string longKey(300, 'k');  // needs a two-byte length prefix
  ObjectRecord record;
  record.set("bin", withNul);
  record.set("big", megabyte);
  record.set(longKey, "v");
  record.set("after", "x");
  EXPECT_EQ(record.get("bin"), withNul);
  EXPECT_EQ(record.get("big").size(), megabyte.size());
  EXPECT_EQ(record.get("big"), megabyte);
  EXPECT_EQ(record.get(longKey), "v");
  EXPECT_EQ(record.get("after"), "x");
  record.set("big", "small");
  EXPECT_EQ(record.get("big"), "small");
  EXPECT_EQ(record.get("after"), "x");
  EXPECT_LT(record.capacityBytes(), 1000u);
}

TEST(ObjectRecordTest, ValueMayViewTheSameRecord) {
  ObjectRecord record;
  record.set("DN", "CN=PC1,DC=X");
  record.set("copy", record.get("DN"));  // appended, block grows
  EXPECT_EQ(record.get("copy"), "CN=PC1,DC=X");
  record.set("DN", record.get("DN").substr(3));  // replaced by part of itself
  EXPECT_EQ(record.get("DN"), "PC1,DC=X");
  record.set("copy", record.get("copy").substr(0, 2));
  EXPECT_EQ(record.get("copy"), "CN");

  ObjectRecord roomy;
  roomy.set("pad", std::string(200, 'p'));
  roomy.clear();  // the block stays, so the appends below need no new one
  roomy.set("DN", "CN=PC1,DC=X");
  roomy.set("more", roomy.get("DN"));
  EXPECT_EQ(roomy.get("more"), "CN=PC1,DC=X");
}

TEST(ObjectRecordTest, ReusedRecordCopiesAreSizedExactly) {
  const std::pair<const char*, const char*> entries[] = {
      {"DN", "cn=pc000001,ou=computers,dc=tavrel,dc=test"},
      {"cn", "pc000001"},
      {"pwdLastSet", "127000000000000000"},
      {"userAccountControl", "4096"},
  };
  ObjectRecord scratch;
  scratch.set("description", std::string(5000, 'x'));  // leaves a large block behind
  scratch.clear();
  EXPECT_FALSE(scratch.has("description"));
  for (const auto& [key, value] : entries) scratch.set(key, value);
  ObjectRecord kept = scratch;
  // Key names are not repeated per record: one number byte and one length byte per value.
  std::size_t values = 0;
  for (const auto& [key, value] : entries) values += std::string_view(value).size();
  EXPECT_EQ(kept.capacityBytes(), values + 2 * std::size(entries));
  for (const auto& [key, value] : entries) EXPECT_EQ(kept.get(key), value);
  // Refilling the scratch record leaves the copy alone.
  scratch.clear();
  scratch.set("cn", "other");
  EXPECT_EQ(kept.get("cn"), "pc000001");
  EXPECT_FALSE(scratch.has("DN"));
}

TEST(ObjectRecordTest, HundredsOfDistinctKeys) {
  // Enough names that key numbers need more than one byte.
  ObjectRecord record;
  for (int i = 0; i < 400; ++i) record.set("attr" + std::to_string(i), std::to_string(i * 7));
  record.set("attr5", "changed");
  for (int i = 0; i < 400; ++i) {
    EXPECT_EQ(record.get("attr" + std::to_string(i)), i == 5 ? "changed" : std::to_string(i * 7));
  }
  EXPECT_FALSE(record.has("attr400"));
  ObjectRecord other;
  EXPECT_FALSE(other.has("attr1"));  // known name, not held by this record
  EXPECT_EQ(other.get("attr1"), "");
}

TEST(ObjectRecordTest, CopiesAreIndependent) {
  ObjectRecord record;
  record.set("cn", "one");
  ObjectStore store{record, record};
  store[1].set("cn", "two");
  store[1].set("ACTION", "Report");
  EXPECT_EQ(store[0].get("cn"), "one");
  EXPECT_FALSE(store[0].has("ACTION"));
  EXPECT_EQ(store[1].get("cn"), "two");
}

}  // namespace
}  // namespace tavrel
