// SPDX-License-Identifier: Apache-2.0
#include "common/object_record.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <unordered_map>

namespace tavrel {

// Block layout, entry after entry:
//   varint key number, varint value length, value bytes
// with the numbers as little-endian base-128 (7 bits per byte, high bit = more). The key
// number stands for a name in the key table below: every record of a run carries the same
// dozen attribute names, so each name is kept once for the process instead of once per
// record (about 40% of a record's bytes with the default columns).

namespace {

/// Key names by number, append-only for the life of the process. The program is
/// single-threaded; the names a run uses are its columns plus "ACTION" and "RESULT".
class KeyTable {
 public:
  /// The number of `key`, adding it when new.
  std::size_t intern(std::string_view key) {
    // Records are filled in the same attribute order again and again, so the name after
    // the last one asked for is nearly always the next one asked for.
    if (guess_ < names_.size() && names_[guess_] == key) return guess_++;
    std::size_t number;
    auto found = numbers_.find(key);
    if (found != numbers_.end()) {
      number = found->second;
    } else {
      const std::string& stored = names_.emplace_back(key);  // deque: stays where it is
      number = names_.size() - 1;
      numbers_.emplace(stored, number);
    }
    guess_ = number + 1;
    return number;
  }

  /// The number of `key`; false when no record ever held it.
  bool lookup(std::string_view key, std::size_t& number) const {
    auto found = numbers_.find(key);
    if (found == numbers_.end()) return false;
    number = found->second;
    return true;
  }

 private:
  std::deque<std::string> names_;
  std::unordered_map<std::string_view, std::size_t> numbers_;
  std::size_t guess_ = 0;
};

KeyTable& keyTable() {
  static KeyTable table;
  return table;
}

std::size_t varintSize(std::size_t value) {
  std::size_t size = 1;
  while (value >= 0x80) {
    value >>= 7;
    ++size;
  }
  return size;
}

char* putVarint(char* out, std::size_t value) {
  while (value >= 0x80) {
    *out++ = static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  *out++ = static_cast<char>(value);
  return out;
}

std::size_t getVarint(const char* data, std::size_t& at) {
  std::size_t value = 0;
  unsigned shift = 0;
  for (;;) {
    auto byte = static_cast<unsigned char>(data[at++]);
    value |= static_cast<std::size_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) return value;
    shift += 7;
  }
}

char* putBytes(char* out, std::string_view text) {
  if (!text.empty()) std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

char* putEntry(char* out, std::size_t number, std::string_view value) {
  out = putVarint(out, number);
  out = putVarint(out, value.size());
  return putBytes(out, value);
}

}  // namespace

struct ObjectRecord::Slot {
  std::size_t valueLengthAt = 0;  ///< where the value's length prefix starts
  std::size_t valueAt = 0;
  std::size_t valueSize = 0;
  std::size_t end = 0;  ///< one past the entry
};

bool ObjectRecord::find(std::size_t number, Slot& slot) const {
  const char* data = bytes_.data();
  std::size_t at = 0;
  while (at < bytes_.size()) {
    std::size_t entryNumber = getVarint(data, at);
    slot.valueLengthAt = at;
    slot.valueSize = getVarint(data, at);
    slot.valueAt = at;
    at += slot.valueSize;
    slot.end = at;
    if (entryNumber == number) return true;
  }
  return false;
}

std::string_view ObjectRecord::get(std::string_view key) const {
  std::size_t number = 0;
  Slot slot;
  if (!keyTable().lookup(key, number) || !find(number, slot)) return {};
  return {bytes_.data() + slot.valueAt, slot.valueSize};
}

bool ObjectRecord::has(std::string_view key) const {
  std::size_t number = 0;
  Slot slot;
  return keyTable().lookup(key, number) && find(number, slot);
}

void ObjectRecord::set(std::string_view key, std::string_view value) {
  const std::size_t number = keyTable().intern(key);
  Slot slot;
  // A key numbered above every key set so far cannot be in the block: filling a record in
  // the usual attribute order needs no scan.
  if (number < keyLimit_ && find(number, slot)) {
    if (slot.valueSize == value.size()) {
      // Same length: overwrite in place (memmove, since `value` may view these bytes).
      if (!value.empty()) std::memmove(bytes_.data() + slot.valueAt, value.data(), value.size());
      return;
    }
    // Rebuild into an exactly sized block; the old one stays alive while `value` is copied.
    std::vector<char> rebuilt(bytes_.size() - (slot.end - slot.valueLengthAt) +
                              varintSize(value.size()) + value.size());
    char* out = putBytes(rebuilt.data(), {bytes_.data(), slot.valueLengthAt});
    out = putVarint(out, value.size());
    out = putBytes(out, value);
    putBytes(out, {bytes_.data() + slot.end, bytes_.size() - slot.end});
    bytes_.swap(rebuilt);
    return;
  }
  keyLimit_ = std::max(keyLimit_, number + 1);
  const std::size_t oldSize = bytes_.size();
  const std::size_t need = varintSize(number) + varintSize(value.size()) + value.size();
  if (bytes_.capacity() - oldSize >= need) {
    // No reallocation, so a `value` that views this record stays valid.
    bytes_.resize(oldSize + need);
    putEntry(bytes_.data() + oldSize, number, value);
    return;
  }
  std::vector<char> grown(oldSize + need);
  putEntry(putBytes(grown.data(), {bytes_.data(), oldSize}), number, value);
  bytes_.swap(grown);
}

}  // namespace tavrel
