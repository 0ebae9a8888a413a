// SPDX-License-Identifier: Apache-2.0
// One object's report row, from the record the search fills to the bytes in the report file,
// in every format and colour: arbitrary attribute values (the directory's) must neither break
// the record nor escape their cell.
//
// Input, line by line:
//   first line: format (h html, c csv, d dhtml), action (r report, D disable, x delete,
//               m move), any of the marks a (disabled), g (DC), f (failed), s (skipped),
//               and "/" followed by the csv delimiter (";" when absent, "/t" for tab)
//   "name=value": sets an attribute (names outside the usual columns are folded into a few
//                 spare ones, so the process-wide name table stays small)
//   "@name=other": sets an attribute to another one's value, as the record holds it

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/console.h"
#include "common/object_record.h"
#include "fuzz/fuzz_check.h"
#include "query/int8.h"
#include "report/csv_field.h"
#include "report/report_writer.h"
#include "report/row_cells.h"

namespace {

using namespace tavrel;

constexpr std::string_view kKnownNames[] = {"DN",
                                            "cn",
                                            "pwdLastSet",
                                            "lastLogonTimestamp",
                                            "pwage",
                                            "lltsAge",
                                            "userAccountControl",
                                            "accountExpires",
                                            "description",
                                            "ACTION",
                                            "RESULT",
                                            "operatingSystem"};
constexpr size_t kSpareNames = 8;
// The search's finish time: 2004-12-29 01:09:22 UTC.
constexpr Int8 kFinishTime = 127487561620000000;

std::string columnName(std::string_view name) {
  for (std::string_view known : kKnownNames) {
    if (name == known) return std::string(name);
  }
  return "spare" + std::to_string(std::hash<std::string_view>{}(name) % kSpareNames);
}

std::string reportPath() {
  // Memory-backed where there is such a folder: one file is written and read per input.
  const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(folder) + "/tavrel-fuzz-row-" + std::to_string(getpid());
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Row {
  RunSettings settings;
  RowMarks marks;
};

Row readOptions(std::string_view line) {
  Row row;
  row.settings.format = ReportFormat::kHtml;
  row.settings.action = ActionKind::kReport;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '/' && i + 1 < line.size()) {
      row.settings.csvDelimiter = line[i + 1] == 't' ? "\t" : std::string(1, line[i + 1]);
      ++i;
    }
    if (c == 'h') row.settings.format = ReportFormat::kHtml;
    if (c == 'c') row.settings.format = ReportFormat::kCsv;
    if (c == 'd') row.settings.format = ReportFormat::kDhtml;
    if (c == 'r') row.settings.action = ActionKind::kReport;
    if (c == 'D') row.settings.action = ActionKind::kDisable;
    if (c == 'x') row.settings.action = ActionKind::kDelete;
    if (c == 'm') row.settings.action = ActionKind::kMove;
    row.marks.disabled |= c == 'a';
    row.marks.domainController |= c == 'g';
    row.marks.modifyFailed |= c == 'f';
    row.marks.safetySkipped |= c == 's';
  }
  // Only the column header and the row, so the whole file can be read back as records.
  if (row.settings.format == ReportFormat::kCsv) row.settings.writeHeader = false;
  return row;
}

// Reads delimited text the way a spreadsheet does: fields in double quotes may hold the
// delimiter, quotes (doubled) and line breaks.
std::vector<std::vector<std::string>> readRecords(std::string_view text,
                                                  std::string_view delimiter) {
  std::vector<std::vector<std::string>> records(1);
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (quoted) {
      if (text[i] != '"') {
        field += text[i];
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (text[i] == '"' && field.empty()) {
      quoted = true;
    } else if (text.substr(i).starts_with(delimiter)) {
      records.back().push_back(field);
      field.clear();
      i += delimiter.size() - 1;
    } else if (text[i] == '\n') {
      records.back().push_back(field);  // the field after the last delimiter, empty
      field.clear();
      records.emplace_back();
    } else {
      field += text[i];
    }
  }
  if (records.back().empty() && field.empty()) records.pop_back();
  return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> lines;
  size_t from = 0;
  for (size_t at = input.find('\n'); at != std::string_view::npos; at = input.find('\n', from)) {
    lines.push_back(input.substr(from, at - from));
    from = at + 1;
  }
  lines.push_back(input.substr(from));
  Row row = readOptions(lines[0]);

  // The record against a plain map of what was set.
  ObjectRecord record;
  std::map<std::string, std::string> expected;
  std::vector<std::string> columns = {
      "DN",      "pwdLastSet",         "lastLogonTimestamp", "pwage",
      "lltsAge", "userAccountControl", "accountExpires"};
  for (size_t i = 1; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    const bool copy = line.starts_with("@");
    if (copy) line.remove_prefix(1);
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string name = columnName(line.substr(0, equals));
    std::string_view value = line.substr(equals + 1);
    if (copy) {
      std::string source = columnName(value);
      record.set(name, record.get(source));  // the value views the record's own bytes
      expected[name] = expected.count(source) ? expected[source] : "";
    } else {
      record.set(name, value);
      expected[name] = value;
    }
    if (std::find(columns.begin(), columns.end(), name) == columns.end()) columns.push_back(name);
  }
  for (const auto& [name, value] : expected) {
    FUZZ_CHECK(record.has(name));
    FUZZ_CHECK(record.get(name) == value);
  }

  // As the run writes it: ages against the finish time, the file, header, row and close.
  console::Capture capture;
  const std::string path = reportPath();
  row.settings.reportFile = path;
  RowTexts texts = beginRowTexts(record, int8AgeDays(record.get("pwdLastSet"), kFinishTime),
                                 int8AgeDays(record.get("lastLogonTimestamp"), kFinishTime));
  {
    ReportWriter writer;
    FUZZ_CHECK(!writer.open(row.settings).stop);
    ReportHeader header;
    writer.beginReport(row.settings, header, columns);
    writer.writeRow(record, row.marks, texts);
    FUZZ_CHECK(!writer.finish(UpdateCounters{}, row.settings).stop);
  }
  const std::string report = readFile(path);
  std::remove(path.c_str());

  // Escaped values cannot add or end cells, rows or items.
  const bool modifying = row.settings.action != ActionKind::kReport;
  const size_t cells = columns.size() + (modifying ? 2 : 0);
  using fuzz::countOf;
  if (row.settings.format == ReportFormat::kHtml) {
    FUZZ_CHECK(countOf(report, "<TR class=\"row\">") == 1);
    FUZZ_CHECK(countOf(report, "<TD NOWRAP>") == cells);
  } else if (row.settings.format == ReportFormat::kCsv &&
             row.settings.csvDelimiter.find_first_of("\"\r\n") == std::string::npos) {
    // Every field reads back as itself (a directory value that a spreadsheet would take
    // for a formula with an apostrophe in front); each line ends with a delimiter.
    std::vector<std::vector<std::string>> records = readRecords(report, row.settings.csvDelimiter);
    FUZZ_CHECK(records.size() == 2);
    std::vector<std::string> names = columns;
    if (modifying) names.insert(names.end(), {"ACTION", "RESULT"});
    FUZZ_CHECK(records[0].size() == names.size() + 1 && records[1].size() == names.size() + 1);
    for (size_t i = 0; i < names.size(); ++i) {
      FUZZ_CHECK(records[0][i] == names[i]);
      std::string cell = cellText(names[i], record, texts);
      FUZZ_CHECK(records[1][i] == (readsAsFormula(cell) ? "'" + cell : cell));
    }
  } else if (row.settings.format == ReportFormat::kDhtml) {
    // The page script names the island's tags too; the data island follows it.
    const std::string_view island =
        std::string_view(report).substr(report.rfind("<XML ID=\"xmlSource\">"));
    FUZZ_CHECK(countOf(island, "<ITEM>") == 1 && countOf(island, "</ITEM>") == 1);
    FUZZ_CHECK(countOf(island, "<COLOR>") == 1);
  }
  return 0;
}
