// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_COMMON_SECRET_TEXT_H_
#define TAVREL_COMMON_SECRET_TEXT_H_

#include <string>
#include <string_view>

namespace tavrel {

/// A password while the run needs it. It cannot be copied, and every buffer it ever used is
/// overwritten when it grows, when it is wiped and when it goes, so the bytes do not linger
/// in freed memory after the bind.
class SecretText {
 public:
  SecretText();
  ~SecretText();
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;

  void append(char c);
  /// Drops a trailing "\r" (a file written on Windows) and the like.
  void dropLast();
  void wipe();

  bool empty() const { return text_.empty(); }
  std::size_t size() const { return text_.size(); }
  char back() const { return text_.back(); }
  /// Null-terminated, for the libraries that take a C string; valid until the next change.
  const char* c_str() const { return text_.c_str(); }
  std::string_view view() const { return text_; }

 private:
  std::string text_;
};

}  // namespace tavrel

#endif  // TAVREL_COMMON_SECRET_TEXT_H_
