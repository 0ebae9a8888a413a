// SPDX-License-Identifier: Apache-2.0
#include "query/dn_key.h"

#include <algorithm>
#include <vector>

#include "common/text.h"

namespace tavrel {

namespace {

bool isBlank(char c) {
  return c == ' ';
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char lowerByte(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

/// Reads DN text one attribute-value pair at a time.
class DnReader {
 public:
  explicit DnReader(std::string_view text) : text_(text) {}

  bool atEnd() const { return at_ >= text_.size(); }

  void skipBlanks() {
    while (!atEnd() && isBlank(text_[at_])) ++at_;
  }

  /// The attribute type up to "=", lower-cased, in `type`; false when there is no "=".
  bool type(std::string& type) {
    skipBlanks();
    type.clear();
    while (!atEnd() && text_[at_] != '=') {
      char c = text_[at_++];
      if (c == ',' || c == ';' || c == '+' || c == '\\' || c == '"') return false;
      type += lowerByte(c);
    }
    if (atEnd()) return false;
    ++at_;  // '='
    while (!type.empty() && isBlank(type.back())) type.pop_back();
    if (type.empty()) return false;
    if (type.size() > 4 && type.compare(0, 4, "oid.") == 0) type.erase(0, 4);
    return true;
  }

  /// The value as the bytes it stands for, lower-cased, in `value`, up to the next separator
  /// (which is returned in `separator`, 0 at the end); false when the text is malformed.
  bool value(std::string& value, char& separator, bool& hexForm) {
    skipBlanks();
    value.clear();
    hexForm = false;
    if (!atEnd() && text_[at_] == '"') {
      // A quoted value (older spelling): everything up to the closing quote.
      ++at_;
      for (;;) {
        if (atEnd()) return false;
        char c = text_[at_++];
        if (c == '"') break;
        if (c == '\\') {
          if (!unescape(value)) return false;
        } else {
          value += lowerByte(c);
        }
      }
      skipBlanks();
    } else if (!atEnd() && text_[at_] == '#') {
      // A BER-encoded value in hexadecimal: compared as written, without regard to case.
      hexForm = true;
      ++at_;
      while (!atEnd() && !isSeparator(text_[at_]) && !isBlank(text_[at_])) {
        value += lowerByte(text_[at_++]);
      }
      skipBlanks();
    } else {
      std::size_t keep = 0;  // bytes up to the last one that was escaped or not a blank
      while (!atEnd() && !isSeparator(text_[at_])) {
        char c = text_[at_++];
        if (c == '\\') {
          if (!unescape(value)) return false;
          keep = value.size();
        } else if (c == '"') {
          return false;
        } else {
          value += lowerByte(c);
          if (!isBlank(c)) keep = value.size();
        }
      }
      value.resize(keep);
    }
    separator = atEnd() ? 0 : text_[at_++];
    if (separator != 0 && !isSeparator(separator)) return false;
    return true;
  }

 private:
  static bool isSeparator(char c) { return c == ',' || c == ';' || c == '+'; }

  /// After a backslash: "\XX" is the byte XX, "\c" the character c.
  bool unescape(std::string& value) {
    if (atEnd()) return false;
    if (at_ + 1 < text_.size()) {
      int high = hexDigit(text_[at_]);
      int low = hexDigit(text_[at_ + 1]);
      if (high >= 0 && low >= 0) {
        value += lowerByte(static_cast<char>(high * 16 + low));
        at_ += 2;
        return true;
      }
    }
    value += lowerByte(text_[at_++]);
    return true;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

/// Writes the bytes of a type or value so that no two parsed DNs give the same key.
void appendEscaped(std::string& key, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (char c : bytes) {
    auto byte = static_cast<unsigned char>(c);
    if (c == ',' || c == '+' || c == '=' || c == '\\' || c == '#' || byte < 0x20) {
      key += '\\';
      key += kHex[byte >> 4];
      key += kHex[byte & 0xF];
    } else {
      key += c;
    }
  }
}

/// The key of `dn` in `key`; false when the text is malformed.
bool parsedKey(std::string_view dn, std::string& key) {
  DnReader reader(dn);
  std::string type;
  std::string value;
  std::vector<std::string> rdn;
  reader.skipBlanks();
  if (reader.atEnd()) return true;
  for (;;) {
    if (!reader.type(type)) return false;
    char separator = 0;
    bool hexForm = false;
    if (!reader.value(value, separator, hexForm)) return false;
    // A single-valued RDN, by far the most common, goes straight into the key.
    const bool alone = rdn.empty() && separator != '+';
    std::string& ava = alone ? key : rdn.emplace_back();
    appendEscaped(ava, type);
    // Only the hexadecimal form leaves a bare '#' in a key; a '#' in text is escaped.
    ava += hexForm ? "=#" : "=";
    appendEscaped(ava, value);
    if (separator == '+') continue;
    if (!alone) {
      // The order of the parts of one RDN carries no meaning.
      std::sort(rdn.begin(), rdn.end());
      for (std::size_t i = 0; i < rdn.size(); ++i) {
        if (i > 0) key += '+';
        key += rdn[i];
      }
      rdn.clear();
    }
    if (separator == 0) return true;
    key += ',';
  }
}

/// Whether the parse would give `dn` lower-cased, byte for byte: no blanks, escapes, quotes,
/// hexadecimal values, multi-valued RDNs, ";" separators or control bytes, and every RDN one
/// non-empty type, one "=" and a type without the "OID." prefix. Nearly every DN a directory
/// returns is of this kind, and lower-casing it costs a fraction of the parse.
bool isPlain(std::string_view dn) {
  if (dn.empty()) return false;
  std::size_t rdnStart = 0;
  std::size_t equals = std::string_view::npos;
  for (std::size_t i = 0; i <= dn.size(); ++i) {
    const char c = i < dn.size() ? dn[i] : ',';
    if (c == ',') {
      if (equals == std::string_view::npos || equals == rdnStart) return false;
      std::string_view type = dn.substr(rdnStart, equals - rdnStart);
      if (type.size() > 4 && equalsIgnoringCase(type.substr(0, 4), "oid.")) return false;
      rdnStart = i + 1;
      equals = std::string_view::npos;
    } else if (c == '=') {
      if (equals != std::string_view::npos) return false;
      equals = i;
    } else if (c == ' ' || c == '\\' || c == '"' || c == '#' || c == '+' || c == ';' ||
               static_cast<unsigned char>(c) < 0x20) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string dnKey(std::string_view dn) {
  if (isPlain(dn)) return lowerCase(dn);
  std::string key;
  if (parsedKey(dn, key)) return key;
  // Unparsed keys start with a byte no parsed key can start with, so the two kinds never meet.
  // (Appended rather than built with operator+, which GCC 12 falsely flags at -O2/-O3.)
  key.assign(1, '\x01');
  key += lowerCase(dn);
  return key;
}

bool dnWithin(std::string_view dn, std::string_view base) {
  return keyWithin(dnKey(dn), dnKey(base));
}

bool keyWithin(std::string_view key, std::string_view baseKey) {
  if (baseKey.empty()) return true;
  if (key.starts_with('\x01') || baseKey.starts_with('\x01')) return false;
  if (key.size() == baseKey.size()) return key == baseKey;
  // Separators inside values are escaped in a key, so a bare comma always ends an RDN.
  return key.size() > baseKey.size() && key.ends_with(baseKey) &&
         key[key.size() - baseKey.size() - 1] == ',';
}

}  // namespace tavrel
