#include "report/prepared_rows.h"

#include <algorithm>
#include <cstring>

#include "query/int8.h"

namespace tavrel {

namespace {

// Row layout: the marks byte; the pwdLastSet and lastLogonTimestamp values when an age column
// needs them; then each non-age cell as a 32-bit length and its encoded bytes. Rows never
// straddle blocks, so a block of the usual size wastes at most one row's worth at its end.
constexpr std::size_t kBlockSize = 1 << 20;

bool isAge(CellKind kind) {
  return kind == CellKind::kPasswordAge || kind == CellKind::kLastLogonAge;
}

template <typename T>
void put(std::string& out, T value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
T take(const char*& at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  at += sizeof value;
  return value;
}

unsigned char packMarks(const RowMarks& marks) {
  return static_cast<unsigned char>((marks.disabled ? 1 : 0) | (marks.domainController ? 2 : 0) |
                                    (marks.modifyFailed ? 4 : 0) | (marks.safetySkipped ? 8 : 0));
}

RowMarks unpackMarks(unsigned char bits) {
  return RowMarks{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
}

}  // namespace

PreparedRows::PreparedRows(const ReportWriter& writer) : writer_(writer) {
  const std::vector<CellKind>& kinds = writer.cellKinds();
  keepsAges_ = std::any_of(kinds.begin(), kinds.end(), isAge);
}

void PreparedRows::add(const ObjectRecord& record, const RowMarks& marks) {
  const std::vector<std::string>& columns = writer_.columns();
  const std::vector<CellKind>& kinds = writer_.cellKinds();
  row_.clear();
  row_ += static_cast<char>(packMarks(marks));
  if (keepsAges_) {
    put<Int8>(row_, parseInt8(record.get("pwdLastSet")));
    put<Int8>(row_, parseInt8(record.get("lastLogonTimestamp")));
  }
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (isAge(kinds[i])) continue;
    const std::size_t lengthAt = row_.size();
    put<std::uint32_t>(row_, 0);
    text_.clear();
    appendCellText(text_, columns[i], kinds[i], record, nullptr);
    writer_.encodeCell(row_, text_);
    const auto length = static_cast<std::uint32_t>(row_.size() - lengthAt - sizeof(std::uint32_t));
    std::memcpy(row_.data() + lengthAt, &length, sizeof length);
  }
  store(row_);
  ++rows_;
}

void PreparedRows::store(std::string_view row) {
  // Each row is prefixed by its own length so that the reader can step from row to row.
  const std::size_t need = sizeof(std::uint32_t) + row.size();
  if (blocks_.empty() || blocks_.back().size - blocks_.back().used < need) {
    Block block;
    block.size = std::max(kBlockSize, need);
    block.bytes = std::make_unique<char[]>(block.size);
    blocks_.push_back(std::move(block));
  }
  Block& block = blocks_.back();
  const auto length = static_cast<std::uint32_t>(row.size());
  std::memcpy(block.bytes.get() + block.used, &length, sizeof length);
  std::memcpy(block.bytes.get() + block.used + sizeof length, row.data(), row.size());
  block.used += need;
}

void PreparedRows::writeTo(ReportWriter& writer, Int8 finishTime) const {
  const std::vector<CellKind>& kinds = writer_.cellKinds();
  std::vector<std::string_view> cells(kinds.size());
  std::string pwage;
  std::string lltsAge;
  std::string ageText;
  for (const Block& block : blocks_) {
    const char* at = block.bytes.get();
    const char* end = at + block.used;
    while (at < end) {
      const auto rowLength = take<std::uint32_t>(at);
      const char* rowEnd = at + rowLength;
      const RowMarks marks = unpackMarks(static_cast<unsigned char>(*at++));
      if (keepsAges_) {
        const Int8 pwdLastSet = take<Int8>(at);
        const Int8 lastLogon = take<Int8>(at);
        pwage.clear();
        lltsAge.clear();
        ageText.clear();
        appendInt8AgeDays(ageText, pwdLastSet, finishTime);
        writer_.encodeCell(pwage, ageText);
        ageText.clear();
        appendInt8AgeDays(ageText, lastLogon, finishTime);
        writer_.encodeCell(lltsAge, ageText);
      }
      for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (kinds[i] == CellKind::kPasswordAge) {
          cells[i] = pwage;
        } else if (kinds[i] == CellKind::kLastLogonAge) {
          cells[i] = lltsAge;
        } else {
          const auto length = take<std::uint32_t>(at);
          cells[i] = std::string_view(at, length);
          at += length;
        }
      }
      at = rowEnd;
      writer.writeEncodedRow(cells, marks);
    }
  }
}

std::size_t PreparedRows::heldBytes() const {
  std::size_t bytes = 0;
  for (const Block& block : blocks_) bytes += block.size;
  return bytes;
}

}  // namespace tavrel
