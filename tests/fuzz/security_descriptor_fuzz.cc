// SPDX-License-Identifier: Apache-2.0
// Security descriptors as the directory sends them (any bytes): the reader never reads past
// the buffer, gives a reason for every refusal, and its answer depends only on the bytes the
// descriptor's offsets and sizes reach, so bytes after it change nothing.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "directory/security_descriptor.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavrel;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const DeleteDenial denial = readDeleteDenial(bytes);
  FUZZ_CHECK(denial.valid == denial.problem.empty());
  if (!denial.valid) FUZZ_CHECK(!denial.protectedFromDeletion());

  const DeleteDenial longer = readDeleteDenial(bytes + std::string(64, '\xA5'));
  if (denial.valid) {
    FUZZ_CHECK(longer.valid);
    FUZZ_CHECK(longer.deleteDenied == denial.deleteDenied);
    FUZZ_CHECK(longer.deleteTreeDenied == denial.deleteTreeDenied);
  }
  return 0;
}
