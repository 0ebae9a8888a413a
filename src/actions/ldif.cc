// SPDX-License-Identifier: Apache-2.0
#include "actions/ldif.h"

#include <cstdint>

#include "common/text.h"

namespace tavrel::ldif {

bool isSafe(std::string_view value) {
  if (value.empty()) return true;
  if (value.front() == ' ' || value.front() == ':' || value.front() == '<') return false;
  if (value.back() == ' ') return false;
  for (char c : value) {
    const auto byte = static_cast<std::uint8_t>(c);
    if (byte < 0x20 || byte > 0x7E) return false;
  }
  return true;
}

std::string base64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t n = static_cast<std::uint8_t>(bytes[i]) << 16 |
                            static_cast<std::uint8_t>(bytes[i + 1]) << 8 |
                            static_cast<std::uint8_t>(bytes[i + 2]);
    out += kAlphabet[n >> 18 & 63];
    out += kAlphabet[n >> 12 & 63];
    out += kAlphabet[n >> 6 & 63];
    out += kAlphabet[n & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t n = static_cast<std::uint8_t>(bytes[i]) << 16;
    if (rest == 2) n |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
    out += kAlphabet[n >> 18 & 63];
    out += kAlphabet[n >> 12 & 63];
    out += rest == 2 ? kAlphabet[n >> 6 & 63] : '=';
    out += '=';
  }
  return out;
}

std::string line(std::string_view name, std::string_view value) {
  std::string out(name);
  if (isSafe(value)) {
    out += ": ";
    out += value;
  } else {
    out += ":: ";
    out += base64(value);
  }
  out += '\n';
  return out;
}

std::string comment(std::string_view text) {
  std::string out = "# ";
  for (char c : text) {
    const auto byte = static_cast<std::uint8_t>(c);
    if (byte < 0x20 || byte == 0x7F) {
      out += formatText("\\x%02X", byte);
    } else {
      out += c;
    }
  }
  out += '\n';
  return out;
}

}  // namespace tavrel::ldif
