// SPDX-License-Identifier: Apache-2.0
// Int8 time values as they arrive from the directory (any text) and as the options make them
// (any day count): date text, age in days, threshold, decimal text and the file date stamp,
// under zones east and west of UTC and with daylight saving time.
// Input: value text, reference text and day count, one per line; the zone follows from the
// input's length.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "common/int8_value.h"
#include "common/text.h"
#include "fuzz/fuzz_check.h"
#include "query/int8.h"

namespace {

constexpr const char* kZones[] = {"UTC", "Pacific/Kiritimati", "Pacific/Pago_Pago",
                                  "America/St_Johns", "Europe/Berlin"};
constexpr std::int64_t kTicksPerDay = 86'400 * tavrel::kTicksPerSecond;
constexpr std::int64_t kEpochOffsetSeconds = 11'644'473'600;

bool isDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "YYYY/MM/DD-hh:mm:ss" (five year digits past 9999), the empty date, or
// "ERROR: <non-zero number>".
void checkDateShape(const std::string& date) {
  if (date.starts_with("ERROR: ")) {
    FUZZ_CHECK(isDigits(date.substr(7)) && tavrel::readNumber(date.substr(7)) != 0);
    return;
  }
  FUZZ_CHECK(date.size() == 19 || date.size() == 20);
  std::string_view view(date);
  std::string_view year = view.substr(0, date.size() - 15);
  std::string_view rest = view.substr(year.size());
  FUZZ_CHECK(rest[0] == '/' && rest[3] == '/' && rest[6] == '-' && rest[9] == ':' &&
             rest[12] == ':');
  if (date == tavrel::kEmptyDateText) return;
  FUZZ_CHECK(isDigits(year) && isDigits(rest.substr(1, 2)) && isDigits(rest.substr(4, 2)) &&
             isDigits(rest.substr(7, 2)) && isDigits(rest.substr(10, 2)) &&
             isDigits(rest.substr(13, 2)));
  int month = std::atoi(std::string(rest.substr(1, 2)).c_str());
  int day = std::atoi(std::string(rest.substr(4, 2)).c_str());
  FUZZ_CHECK(month >= 1 && month <= 12 && day >= 1 && day <= 31);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavrel;
  const char* zone = kZones[size % std::size(kZones)];
  setenv("TZ", zone, 1);
  tzset();

  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> lines;
  size_t from = 0;
  for (size_t at = text.find('\n'); at != std::string_view::npos && lines.size() < 2;
       at = text.find('\n', from)) {
    lines.push_back(text.substr(from, at - from));
    from = at + 1;
  }
  lines.push_back(text.substr(from));
  lines.resize(3);
  const std::string_view valueText = lines[0];
  const Int8 reference = static_cast<Int8>(readNumber(lines[1]));
  const int days = readInt(lines[2]);
  const Int8 value = static_cast<Int8>(readNumber(valueText));

  std::string date = int8DateText(valueText);
  checkDateShape(date);
  if (value == 0 || value == kInt8Never) FUZZ_CHECK(date == kEmptyDateText);
  if (std::string_view(zone) == "UTC" && value > 0 && value != kInt8Never) {
    time_t seconds = static_cast<time_t>(value / kTicksPerSecond - kEpochOffsetSeconds);
    tm fields{};
    FUZZ_CHECK(gmtime_r(&seconds, &fields) != nullptr);
    FUZZ_CHECK(date == formatText("%4.4i/%2.2i/%2.2i-%2.2i:%2.2i:%2.2i", fields.tm_year + 1900,
                                  fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min,
                                  fields.tm_sec));
  }

  // The age is the whole number of days in the (wrapping) difference, or -0001.
  std::string age = int8AgeDays(valueText, reference);
  if (age != "-0001") {
    FUZZ_CHECK(age.size() >= 4 && isDigits(age));
    const std::uint64_t elapsed =
        static_cast<std::uint64_t>(reference) - static_cast<std::uint64_t>(value);
    const std::uint64_t whole = static_cast<std::uint64_t>(readNumber(age));
    FUZZ_CHECK(whole <= 49710);
    FUZZ_CHECK(elapsed / kTicksPerDay == whole);
  }

  FUZZ_CHECK(readNumber(int8Text(value)) == value);
  int8Threshold(reference, days);

  std::string stamp = dateStamp(reference);
  if (!stamp.starts_with("ERROR")) {
    const size_t dash = stamp.size() - 7;
    FUZZ_CHECK((stamp.size() == 15 || stamp.size() == 16) && stamp[dash] == '-');
    FUZZ_CHECK(isDigits(std::string_view(stamp).substr(0, dash)) &&
               isDigits(std::string_view(stamp).substr(dash + 1)));
  }
  return 0;
}
