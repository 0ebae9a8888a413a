// SPDX-License-Identifier: Apache-2.0
#include "common/secret_text.h"

#include <utility>

namespace tavrel {

namespace {

// Larger than any password a person types, so that the buffer rarely has to move.
constexpr std::size_t kInitialCapacity = 256;

// Writes through a volatile pointer, which the compiler may not drop as a dead store.
void overwrite(std::string& text) {
  volatile char* bytes = text.data();
  for (std::size_t i = 0; i < text.capacity(); ++i) bytes[i] = 0;
}

}  // namespace

SecretText::SecretText() {
  text_.reserve(kInitialCapacity);
}

SecretText::~SecretText() {
  wipe();
}

void SecretText::append(char c) {
  if (text_.size() + 1 >= text_.capacity()) {
    std::string larger;
    larger.reserve(text_.capacity() * 2);
    larger.assign(text_);
    overwrite(text_);
    text_.swap(larger);
  }
  text_.push_back(c);
}

void SecretText::dropLast() {
  if (text_.empty()) return;
  text_.back() = 0;
  text_.pop_back();
}

void SecretText::wipe() {
  overwrite(text_);
  text_.clear();
}

}  // namespace tavrel
