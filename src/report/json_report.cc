#include "report/json_report.h"

#include <cstdint>

#include "common/text.h"

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

std::string documentStart(std::string_view incompleteNotice, const LabelValues* run,
                          const std::vector<std::string>& columns) {
  std::string out = "{";
  if (!incompleteNotice.empty()) {
    out += "\"incomplete\":";
    out += quote(incompleteNotice);
    out += ",\n";
  }
  if (run != nullptr) {
    out += "\"run\":{";
    bool first = true;
    for (const auto& [label, value] : *run) {
      if (!first) out += ',';
      first = false;
      appendKey(out, label);
      out += quote(value);
    }
    out += "},\n";
  }
  out += "\"columns\":[";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i != 0) out += ',';
    out += quote(columns[i]);
  }
  out += "],\n\"objects\":[";
  return out;
}

std::string key(std::string_view column) {
  std::string out;
  appendKey(out, column);
  return out;
}

void appendObject(std::string& out, const std::vector<std::string>& keys,
                  const std::vector<std::string_view>& quotedCells, const RowMarks& marks,
                  bool first) {
  out += first ? "\n{" : ",\n{";
  for (std::size_t i = 0; i < keys.size() && i < quotedCells.size(); ++i) {
    out += keys[i];
    out += quotedCells[i];
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
  out += '}';
}

std::string object(const std::vector<std::string>& columns, const std::vector<std::string>& cells,
                   const RowMarks& marks, bool first) {
  std::vector<std::string> keys;
  std::vector<std::string> quoted;
  for (const std::string& column : columns) keys.push_back(key(column));
  for (const std::string& cell : cells) quoted.push_back(quote(cell));
  std::string out;
  appendObject(out, keys, std::vector<std::string_view>(quoted.begin(), quoted.end()), marks,
               first);
  return out;
}

std::string documentEnd(const UpdateCounters* counters, bool writeStats, std::string_view undoFile,
                        std::string_view interruptedNotice) {
  std::string out = "\n]";
  if (!interruptedNotice.empty()) {
    out += ",\n\"interrupted\":";
    out += quote(interruptedNotice);
  }
  if (writeStats) {
    out += ",\n\"statistics\":";
    if (counters == nullptr) {
      out += "null";
    } else {
      out += formatText(
          "{\"Total Updates\":%d,\"Updates Ok\":%d,\"Updates Error\":%d,"
          "\"Updates Skipped\":%d,\"Updates Safety Skipped\":%d",
          counters->totalUpdates, counters->updatesOk, counters->updatesError,
          counters->updatesSkipped, counters->updatesSafetySkipped);
      // As on the console: only when writing stopped.
      if (counters->updatesUnknown != 0) {
        out += formatText(",\"Updates Unknown\":%d", counters->updatesUnknown);
      }
      if (counters->updatesNotAttempted != 0) {
        out += formatText(",\"Updates Not Attempted\":%d", counters->updatesNotAttempted);
      }
      if (counters->writingStopped) {
        out += ",\"Writing Stopped At\":";
        out += quote(counters->writingStoppedAt);
      }
      if (!undoFile.empty()) {
        out += ",\"Undo File\":";
        out += quote(undoFile);
      }
      out += '}';
    }
  }
  out += "}\n";
  return out;
}

}  // namespace tavrel::json
