// SPDX-License-Identifier: Apache-2.0
#include <sys/stat.h>

#include "common/file_access.h"

namespace tavrel {

bool othersMayRead(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return false;
  return (status.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

}  // namespace tavrel
