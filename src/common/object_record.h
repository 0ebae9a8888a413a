// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_COMMON_OBJECT_RECORD_H_
#define TAVREL_COMMON_OBJECT_RECORD_H_

#include <cstddef>
#include <string_view>
#include <vector>

namespace tavrel {

/// One matched object: key text -> value text ("DN", attribute names as the server spelled
/// them, "ACTION", "RESULT"). Keys compare byte by byte; an absent key reads as empty text;
/// setting a key again replaces its value. Values are arbitrary bytes (NUL included) of any
/// length.
///
/// A run holds every matched object in memory at once, so a record is one exactly sized
/// block of numbered, length-prefixed values instead of a map of separately allocated
/// strings; the key names, the same on every record, are kept once for the process. With a
/// dozen short entries per object a lookup is a short linear scan.
class ObjectRecord {
 public:
  /// The value of `key`; empty when absent. The view is valid until the record changes.
  std::string_view get(std::string_view key) const;
  bool has(std::string_view key) const;
  /// Sets or replaces the value of `key`. `value` may view this record's own bytes.
  void set(std::string_view key, std::string_view value);

  /// Removes every entry but keeps the block, so one record can be refilled again and again
  /// without allocating; a copy of it is sized exactly.
  void clear() {
    bytes_.clear();
    keyLimit_ = 0;
  }

  /// Bytes held by the record's block, for memory accounting in tests and benchmarks.
  std::size_t capacityBytes() const { return bytes_.capacity(); }

 private:
  struct Slot;
  bool find(std::size_t keyNumber, Slot& slot) const;

  std::vector<char> bytes_;
  std::size_t keyLimit_ = 0;  ///< above the number of every key in the block
};

/// The DN as the server spelled it, kept beside the lower-cased "DN" of a run that may move
/// the account: the move sends the account's own name back, so it must not come from the
/// lower-cased text (that would rename the account), and reading it again before each move
/// would cost a round trip and could hang on a server that stopped answering. No attribute
/// name holds a blank, so the key meets no column.
inline constexpr std::string_view kStoredDnKey = "stored DN";

/// The URI of the server an account was read at when a reference led there; absent for the
/// session's own server. The run writes over the session's connection only, so such an
/// account is reported and never written.
inline constexpr std::string_view kHeldByKey = "held by";
/// Every servicePrincipalName value of an account, one per line, kept for the guards of a
/// modifying run (a column keeps only the last value, and any value can make a cluster
/// account). The blank keeps the key off every column.
inline constexpr std::string_view kPrincipalNamesKey = "all servicePrincipalName";
inline constexpr std::string_view kPrincipalNameAttribute = "servicePrincipalName";

/// The matched objects in arrival order.
using ObjectStore = std::vector<ObjectRecord>;

}  // namespace tavrel

#endif  // TAVREL_COMMON_OBJECT_RECORD_H_
