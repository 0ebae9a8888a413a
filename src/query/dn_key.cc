#include "query/dn_key.h"

#include <algorithm>
#include <optional>
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

  /// The attribute type up to "=", lower-cased; nothing when there is no "=".
  std::optional<std::string> type() {
    skipBlanks();
    std::string type;
    while (!atEnd() && text_[at_] != '=') {
      char c = text_[at_++];
      if (c == ',' || c == ';' || c == '+' || c == '\\' || c == '"') return std::nullopt;
      type += lowerByte(c);
    }
    if (atEnd()) return std::nullopt;
    ++at_;  // '='
    while (!type.empty() && isBlank(type.back())) type.pop_back();
    if (type.empty()) return std::nullopt;
    if (type.size() > 4 && type.compare(0, 4, "oid.") == 0) type.erase(0, 4);
    return type;
  }

  /// The value as the bytes it stands for, lower-cased, up to the next separator (which is
  /// returned in `separator`, 0 at the end); nothing when the text is malformed.
  std::optional<std::string> value(char& separator, bool& hexForm) {
    skipBlanks();
    std::string value;
    hexForm = false;
    if (!atEnd() && text_[at_] == '"') {
      // A quoted value (older spelling): everything up to the closing quote.
      ++at_;
      for (;;) {
        if (atEnd()) return std::nullopt;
        char c = text_[at_++];
        if (c == '"') break;
        if (c == '\\') {
          if (!unescape(value)) return std::nullopt;
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
          if (!unescape(value)) return std::nullopt;
          keep = value.size();
        } else if (c == '"') {
          return std::nullopt;
        } else {
          value += lowerByte(c);
          if (!isBlank(c)) keep = value.size();
        }
      }
      value.resize(keep);
    }
    separator = atEnd() ? 0 : text_[at_++];
    if (separator != 0 && !isSeparator(separator)) return std::nullopt;
    return value;
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

std::optional<std::string> parsedKey(std::string_view dn) {
  DnReader reader(dn);
  std::string key;
  std::vector<std::string> rdn;
  reader.skipBlanks();
  if (reader.atEnd()) return std::string();
  for (;;) {
    std::optional<std::string> type = reader.type();
    if (!type) return std::nullopt;
    char separator = 0;
    bool hexForm = false;
    std::optional<std::string> value = reader.value(separator, hexForm);
    if (!value) return std::nullopt;
    std::string ava;
    appendEscaped(ava, *type);
    // Only the hexadecimal form leaves a bare '#' in a key; a '#' in text is escaped.
    ava += hexForm ? "=#" : "=";
    appendEscaped(ava, *value);
    rdn.push_back(std::move(ava));
    if (separator == '+') continue;
    // The order of the parts of one RDN carries no meaning.
    std::sort(rdn.begin(), rdn.end());
    for (std::size_t i = 0; i < rdn.size(); ++i) {
      if (i > 0) key += '+';
      key += rdn[i];
    }
    rdn.clear();
    if (separator == 0) return key;
    key += ',';
  }
}

}  // namespace

std::string dnKey(std::string_view dn) {
  if (std::optional<std::string> key = parsedKey(dn)) return *key;
  // Unparsed keys start with a byte no parsed key can start with, so the two kinds never meet.
  // (Appended rather than built with operator+, which GCC 12 falsely flags at -O2/-O3.)
  std::string key(1, '\x01');
  key += lowerCase(dn);
  return key;
}

}  // namespace tavrel
