// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_TESTS_SUPPORT_FILE_TEXT_H_
#define TAVREL_TESTS_SUPPORT_FILE_TEXT_H_

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tavrel::testing {

/// The whole file's bytes as they are on disk; empty when it cannot be read.
inline std::string fileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace tavrel::testing

#endif  // TAVREL_TESTS_SUPPORT_FILE_TEXT_H_
