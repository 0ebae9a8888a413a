#ifndef TAVREL_QUERY_OBJECT_RECORD_H_
#define TAVREL_QUERY_OBJECT_RECORD_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavrel {

/// One matched object: key text -> value text ("DN", attribute names as the server spelled
/// them, "ACTION", "RESULT"). Keys compare byte by byte; an absent key reads as empty text;
/// setting a key again replaces its value.
class ObjectRecord {
 public:
  std::string_view get(std::string_view key) const;
  bool has(std::string_view key) const;
  void set(std::string_view key, std::string_view value);

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
};

/// The matched objects in arrival order.
using ObjectStore = std::vector<ObjectRecord>;

}  // namespace tavrel

#endif  // TAVREL_QUERY_OBJECT_RECORD_H_
