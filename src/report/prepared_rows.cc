// SPDX-License-Identifier: Apache-2.0
#include "report/prepared_rows.h"

#include <algorithm>
#include <cstring>

#include "query/int8.h"

namespace tavrel {

namespace {

// Row layout: the marks byte; the pwdLastSet and lastLogonTimestamp values when an age column
// needs them; then each non-age cell as a 32-bit length and its encoded bytes. Rows never
// straddle blocks, so a block wastes at most one row's worth at its end. In the temporary
// file each block is its used length (64 bits) followed by that many bytes.

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
                                    (marks.modifyFailed ? 4 : 0) | (marks.safetySkipped ? 8 : 0) |
                                    (marks.protectedAccount ? 16 : 0));
}

RowMarks unpackMarks(unsigned char bits) {
  return RowMarks{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0,
                  (bits & 16) != 0};
}

}  // namespace

PreparedRows::PreparedRows(const ReportWriter& writer, std::size_t blockSize)
    : writer_(writer), blockSize_(blockSize) {
  const std::vector<CellKind>& kinds = writer.cellKinds();
  keepsAges_ = std::any_of(kinds.begin(), kinds.end(), isAge);
  for (std::size_t i = kinds.size(); i-- > 0;) {
    if (kinds[i] == CellKind::kPasswordAge) agePosition_[0] = i;
    if (kinds[i] == CellKind::kLastLogonAge) agePosition_[1] = i;
  }
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
    writer_.encodeCell(row_, text_, i, cellSource(columns[i], kinds[i], record, nullptr));
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
    if (blocks_.size() == 1 && setAside(blocks_.back())) {
      blocks_.back().used = 0;
    } else {
      blocks_.emplace_back();
    }
    Block& block = blocks_.back();
    if (block.size < need) {
      block.size = std::max(blockSize_, need);
      block.bytes = std::make_unique<char[]>(block.size);
    }
  }
  Block& block = blocks_.back();
  const auto length = static_cast<std::uint32_t>(row.size());
  std::memcpy(block.bytes.get() + block.used, &length, sizeof length);
  std::memcpy(block.bytes.get() + block.used + sizeof length, row.data(), row.size());
  block.used += need;
}

bool PreparedRows::setAside(const Block& block) {
  if (setAsideFailed_) return false;
  if (!spill_) spill_.reset(std::tmpfile());
  const std::uint64_t used = block.used;
  // A block only partly written is left where it is, after the last whole one; the reader
  // never gets to it.
  setAsideFailed_ = !spill_ || std::fwrite(&used, sizeof used, 1, spill_.get()) != 1 ||
                    std::fwrite(block.bytes.get(), 1, block.used, spill_.get()) != block.used;
  if (!setAsideFailed_) ++blocksSetAside_;
  return !setAsideFailed_;
}

bool PreparedRows::writeTo(ReportWriter& writer, Int8 finishTime) {
  bool complete = true;
  if (blocksSetAside_ > 0) {
    std::FILE* file = spill_.get();
    complete = std::fflush(file) == 0 && std::fseek(file, 0, SEEK_SET) == 0;
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    for (std::size_t i = 0; complete && i < blocksSetAside_; ++i) {
      std::uint64_t used = 0;
      complete = std::fread(&used, sizeof used, 1, file) == 1;
      if (!complete) break;
      if (used > size) {
        size = static_cast<std::size_t>(used);
        bytes = std::make_unique<char[]>(size);
      }
      complete = std::fread(bytes.get(), 1, used, file) == used;
      if (complete) writeRows(writer, bytes.get(), bytes.get() + used, finishTime);
    }
    spill_.reset();
  }
  for (const Block& block : blocks_) {
    writeRows(writer, block.bytes.get(), block.bytes.get() + block.used, finishTime);
  }
  blocks_.clear();
  return complete;
}

void PreparedRows::writeRows(ReportWriter& writer, const char* at, const char* end,
                             Int8 finishTime) {
  const std::vector<CellKind>& kinds = writer_.cellKinds();
  cells_.resize(kinds.size());
  while (at < end) {
    const auto rowLength = take<std::uint32_t>(at);
    const char* rowEnd = at + rowLength;
    const RowMarks marks = unpackMarks(static_cast<unsigned char>(*at++));
    if (keepsAges_) {
      const Int8 pwdLastSet = take<Int8>(at);
      const Int8 lastLogon = take<Int8>(at);
      pwage_.clear();
      lltsAge_.clear();
      ageText_.clear();
      appendInt8AgeDays(ageText_, pwdLastSet, finishTime);
      writer_.encodeCell(pwage_, ageText_, agePosition_[0], ageText_);
      ageText_.clear();
      appendInt8AgeDays(ageText_, lastLogon, finishTime);
      writer_.encodeCell(lltsAge_, ageText_, agePosition_[1], ageText_);
    }
    for (std::size_t i = 0; i < kinds.size(); ++i) {
      if (kinds[i] == CellKind::kPasswordAge) {
        cells_[i] = pwage_;
      } else if (kinds[i] == CellKind::kLastLogonAge) {
        cells_[i] = lltsAge_;
      } else {
        const auto length = take<std::uint32_t>(at);
        cells_[i] = std::string_view(at, length);
        at += length;
      }
    }
    at = rowEnd;
    writer.writeEncodedRow(cells_, marks);
  }
}

}  // namespace tavrel
