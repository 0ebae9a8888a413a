#include "query/object_record.h"

#include <cstring>

namespace tavrel {

// Block layout, entry after entry:
//   varint key length, key bytes, varint value length, value bytes
// with the lengths as little-endian base-128 numbers (7 bits per byte, high bit = more).
// Short names and values cost one length byte each.

namespace {

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

}  // namespace

struct ObjectRecord::Slot {
  std::size_t valueLengthAt = 0;  ///< where the value's length prefix starts
  std::size_t valueAt = 0;
  std::size_t valueSize = 0;
  std::size_t end = 0;  ///< one past the entry
};

std::size_t ObjectRecord::entrySize(std::string_view key, std::size_t valueSize) {
  return varintSize(key.size()) + key.size() + varintSize(valueSize) + valueSize;
}

bool ObjectRecord::find(std::string_view key, Slot& slot) const {
  const char* data = bytes_.data();
  std::size_t at = 0;
  while (at < bytes_.size()) {
    std::size_t keySize = getVarint(data, at);
    bool match = keySize == key.size() &&
                 (keySize == 0 || std::memcmp(data + at, key.data(), keySize) == 0);
    at += keySize;
    slot.valueLengthAt = at;
    slot.valueSize = getVarint(data, at);
    slot.valueAt = at;
    at += slot.valueSize;
    slot.end = at;
    if (match) return true;
  }
  return false;
}

std::string_view ObjectRecord::get(std::string_view key) const {
  Slot slot;
  if (!find(key, slot)) return {};
  return {bytes_.data() + slot.valueAt, slot.valueSize};
}

bool ObjectRecord::has(std::string_view key) const {
  Slot slot;
  return find(key, slot);
}

void ObjectRecord::reserve(std::size_t bytes) { bytes_.reserve(bytes_.size() + bytes); }

void ObjectRecord::set(std::string_view key, std::string_view value) {
  Slot slot;
  if (find(key, slot)) {
    if (slot.valueSize == value.size()) {
      // Same length: overwrite in place (memmove, since `value` may view these bytes).
      if (!value.empty()) std::memmove(bytes_.data() + slot.valueAt, value.data(), value.size());
      return;
    }
    // Rebuild into an exactly sized block; the old one stays alive while `value` is copied.
    std::vector<char> rebuilt;
    rebuilt.resize(bytes_.size() - (slot.end - slot.valueLengthAt) + varintSize(value.size()) +
                   value.size());
    char* out = rebuilt.data();
    out = putBytes(out, {bytes_.data(), slot.valueLengthAt});
    out = putVarint(out, value.size());
    out = putBytes(out, value);
    putBytes(out, {bytes_.data() + slot.end, bytes_.size() - slot.end});
    bytes_.swap(rebuilt);
    return;
  }
  std::size_t oldSize = bytes_.size();
  std::size_t need = entrySize(key, value.size());
  if (bytes_.capacity() - oldSize >= need) {
    // No reallocation, so a `value` that views this record stays valid.
    bytes_.resize(oldSize + need);
    char* out = bytes_.data() + oldSize;
    out = putVarint(out, key.size());
    out = putBytes(out, key);
    out = putVarint(out, value.size());
    putBytes(out, value);
    return;
  }
  std::vector<char> grown;
  grown.reserve(oldSize + need);
  grown.resize(oldSize + need);
  char* out = putBytes(grown.data(), {bytes_.data(), oldSize});
  out = putVarint(out, key.size());
  out = putBytes(out, key);
  out = putVarint(out, value.size());
  putBytes(out, value);
  bytes_.swap(grown);
}

}  // namespace tavrel
