#include "query/object_record.h"

namespace tavrel {

std::string_view ObjectRecord::get(std::string_view key) const {
  for (const auto& [k, v] : entries_) {
    if (k == key) return v;
  }
  return {};
}

bool ObjectRecord::has(std::string_view key) const {
  for (const auto& entry : entries_) {
    if (entry.first == key) return true;
  }
  return false;
}

void ObjectRecord::set(std::string_view key, std::string_view value) {
  for (auto& [k, v] : entries_) {
    if (k == key) {
      v.assign(value);
      return;
    }
  }
  entries_.emplace_back(std::string(key), std::string(value));
}

}  // namespace tavrel
