// SPDX-License-Identifier: Apache-2.0
#include "report/json_report.h"

#include <cstdint>
#include <limits>

#include "common/text.h"
#include "query/int8.h"

namespace tavrel::json {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

/// Length of the valid UTF-8 sequence at `at`, or 0 when it is not one. Overlong forms,
/// surrogates and code points beyond U+10FFFF are invalid. `consumed` receives how many bytes
/// form the maximal invalid prefix, so one U+FFFD stands for each.
std::size_t validSequence(std::string_view text, std::size_t at, std::size_t& consumed) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(at);
  std::size_t length = 0;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    consumed = 1;
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const std::uint8_t lowBound = i == 1 ? low : 0x80;
    const std::uint8_t highBound = i == 1 ? high : 0xBF;
    if (at + i >= text.size() || byte(at + i) < lowBound || byte(at + i) > highBound) {
      consumed = i;
      return 0;
    }
  }
  return length;
}

void appendKey(std::string& out, std::string_view key) {
  out += quote(key);
  out += ':';
}

/// Whole numbers of at most 15 digits: exact in every JSON reader, which may hold numbers
/// as doubles. Leading zeros ("0634") are dropped.
bool appendNumber(std::string& out, std::string_view text) {
  std::size_t at = 0;
  bool negative = false;
  if (at < text.size() && text[at] == '-') {
    negative = true;
    ++at;
  }
  if (at == text.size() || text.size() - at > 15) return false;
  for (std::size_t i = at; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  while (at + 1 < text.size() && text[at] == '0') ++at;
  if (negative && !(text.size() - at == 1 && text[at] == '0')) out += '-';
  out.append(text.substr(at));
  return true;
}

/// Days since 1970-01-01 as a proleptic Gregorian date.
void civilDate(long long days, long long& year, int& month, int& day) {
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const long long dayOfEra = days - era * 146097;
  const long long yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long long monthIndex = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

bool isDigits(std::string_view text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return !text.empty();
}

// Column names whose values have a known type though they are shown as the directory sends
// them; the rest is text.
constexpr std::string_view kNumberColumns[] = {"logonCount", "badPwdCount", "primaryGroupID",
                                               "sAMAccountType", "instanceType"};
constexpr std::string_view kInt8DateColumns[] = {"lastLogon", "lastLogoff", "badPasswordTime",
                                                 "lockoutTime"};
constexpr std::string_view kGeneralizedTimeColumns[] = {"whenCreated", "whenChanged"};

template <std::size_t N>
bool listed(const std::string_view (&names)[N], std::string_view column) {
  for (std::string_view name : names) {
    if (name == column) return true;
  }
  return false;
}

}  // namespace

std::string quote(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  std::size_t at = 0;
  while (at < text.size()) {
    const auto c = static_cast<std::uint8_t>(text[at]);
    if (c < 0x80) {
      switch (c) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        default:
          if (c < 0x20) {
            out += formatText("\\u%04x", c);
          } else {
            out += static_cast<char>(c);
          }
      }
      ++at;
      continue;
    }
    std::size_t consumed = 0;
    const std::size_t length = validSequence(text, at, consumed);
    if (length == 0) {
      out += kReplacement;
      at += consumed;
    } else {
      out.append(text.substr(at, length));
      at += length;
    }
  }
  out += '"';
  return out;
}

std::string isoDate(Int8 value) {
  if (value <= 0 || value == std::numeric_limits<Int8>::max()) return "null";
  constexpr long long kEpochSeconds = 11644473600LL;  // 1601-01-01 to 1970-01-01
  const long long seconds = value / 10000000 - kEpochSeconds;
  const long long days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
  const long long inDay = seconds - days * 86400;
  long long year = 0;
  int month = 0;
  int day = 0;
  civilDate(days, year, month, day);
  return formatText("\"%04lld-%02d-%02dT%02lld:%02lld:%02lldZ\"", year, month, day, inDay / 3600,
                    inDay / 60 % 60, inDay % 60);
}

ValueType valueType(std::string_view column, CellKind kind) {
  switch (kind) {
    case CellKind::kPasswordAge:
    case CellKind::kLastLogonAge:
    case CellKind::kAccountControl:
      return ValueType::kNumber;
    case CellKind::kPwdLastSetDate:
    case CellKind::kLastLogonDate:
    case CellKind::kDcLogonDate:
    case CellKind::kAccountExpiresDate:
      return ValueType::kInt8Date;
    case CellKind::kValue:
      break;
  }
  if (listed(kNumberColumns, column)) return ValueType::kNumber;
  if (listed(kInt8DateColumns, column)) return ValueType::kInt8Date;
  if (listed(kGeneralizedTimeColumns, column)) return ValueType::kGeneralizedTime;
  return ValueType::kText;
}

void appendValue(std::string& out, ValueType type, std::string_view cellText,
                 std::string_view source) {
  switch (type) {
    case ValueType::kText:
      out += quote(cellText);
      return;
    case ValueType::kNumber:
      if (source.empty()) {
        out += "null";
        return;
      }
      if (appendNumber(out, source)) return;
      break;
    case ValueType::kInt8Date:
      if (source.empty() || isDigits(source) || (source[0] == '-' && isDigits(source.substr(1)))) {
        out += isoDate(parseInt8(source));
        return;
      }
      break;
    case ValueType::kGeneralizedTime:
      if (source.empty()) {
        out += "null";
        return;
      }
      // "YYYYMMDDhhmmss" followed by an optional fraction and "Z".
      if (source.size() >= 15 && isDigits(source.substr(0, 14)) && source.back() == 'Z') {
        out += '"';
        out.append(source.substr(0, 4)).append("-").append(source.substr(4, 2)).append("-");
        out.append(source.substr(6, 2)).append("T").append(source.substr(8, 2)).append(":");
        out.append(source.substr(10, 2)).append(":").append(source.substr(12, 2)).append("Z\"");
        return;
      }
      break;
  }
  out += quote(cellText);
}

std::string documentStart(bool lines, const std::string* incompleteReason,
                          const std::vector<RunEntry>* run,
                          const std::vector<std::string>& columns) {
  std::string out = lines ? "{\"type\":\"run\"," : "{";
  out += formatText("\"schemaVersion\":%d,\"incomplete\":", kSchemaVersion);
  if (incompleteReason == nullptr) {
    out += "null";
  } else {
    out += "{\"reason\":" + quote(*incompleteReason) + "}";
  }
  const char* separator = lines ? "," : ",\n";
  if (run != nullptr) {
    out += separator;
    out += "\"run\":{";
    for (std::size_t i = 0; i < run->size(); ++i) {
      if (i != 0) out += ',';
      appendKey(out, (*run)[i].key);
      out += (*run)[i].value;
    }
    out += "},\"runLabels\":{";
    for (std::size_t i = 0; i < run->size(); ++i) {
      if (i != 0) out += ',';
      appendKey(out, (*run)[i].key);
      out += quote((*run)[i].label);
    }
    out += '}';
  }
  out += separator;
  out += "\"columns\":[";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i != 0) out += ',';
    out += quote(columns[i]);
  }
  out += lines ? "]}\n" : "],\n\"objects\":[";
  return out;
}

std::string key(std::string_view column) {
  std::string out;
  appendKey(out, column);
  return out;
}

void appendObject(std::string& out, bool lines, const std::vector<std::string>& keys,
                  const std::vector<std::string_view>& values, const RowMarks& marks, bool first) {
  if (lines) {
    out += "{\"type\":\"object\",";
  } else {
    out += first ? "\n{" : ",\n{";
  }
  for (std::size_t i = 0; i < keys.size() && i < values.size(); ++i) {
    out += keys[i];
    out += values[i];
    out += ',';
  }
  const auto flag = [](bool value) { return value ? "true" : "false"; };
  out += "\"disabled\":";
  out += flag(marks.disabled);
  out += ",\"domainController\":";
  out += flag(marks.domainController);
  out += ",\"modifyFailed\":";
  out += flag(marks.modifyFailed);
  out += ",\"safetySkipped\":";
  out += flag(marks.safetySkipped);
  out += lines ? "}\n" : "}";
}

std::string documentEnd(bool lines, const UpdateCounters* counters, bool writeStats,
                        std::string_view undoFile, std::string_view interruptedNotice) {
  std::string out = lines ? "{\"type\":\"statistics\"" : "\n]";
  if (!interruptedNotice.empty()) {
    out += lines ? ",\"interrupted\":" : ",\n\"interrupted\":";
    out += quote(interruptedNotice);
  }
  if (writeStats) {
    out += lines ? ",\"statistics\":" : ",\n\"statistics\":";
    if (counters == nullptr) {
      out += "null";
    } else {
      // Every counter always, so that scripts need no default for a missing member.
      out += formatText(
          "{\"totalUpdates\":%d,\"updatesOk\":%d,\"updatesError\":%d,\"updatesSkipped\":%d,"
          "\"updatesSafetySkipped\":%d,\"updatesUnknown\":%d,\"updatesNotAttempted\":%d,"
          "\"writingStoppedAt\":",
          counters->totalUpdates, counters->updatesOk, counters->updatesError,
          counters->updatesSkipped, counters->updatesSafetySkipped, counters->updatesUnknown,
          counters->updatesNotAttempted);
      out += counters->writingStopped ? quote(counters->writingStoppedAt) : "null";
      out += ",\"undoFile\":";
      out += undoFile.empty() ? "null" : quote(undoFile);
      out += '}';
    }
  }
  out += "}\n";
  return out;
}

}  // namespace tavrel::json
