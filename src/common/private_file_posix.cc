// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/private_file.h"

namespace tavrel::files {

namespace {

std::string folderOf(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return name.substr(0, slash);
}

/// The creation of a file is durable only once its folder's entry is on disk too.
void syncFolder(const std::string& name) {
  const int folder = ::open(folderOf(name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return;
  ::fsync(folder);
  ::close(folder);
}

}  // namespace

std::string lastError() {
  return std::strerror(errno);
}

Opened createPrivate(const std::string& name) {
  Opened opened;
  // O_EXCL with O_CREAT refuses an existing name, a dangling symbolic link included.
  const int fd =
      ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd < 0) {
    opened.exists = errno == EEXIST;
    opened.error = lastError();
    return opened;
  }
  syncFolder(name);
  opened.handle.value = fd;
  return opened;
}

Opened openRegularForWriting(const std::string& name, bool append) {
  Opened opened;
  // Non-blocking, so that a pipe planted at the name cannot hold the run until the check.
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                        S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH);
  if (fd < 0) {
    opened.error = errno == ELOOP ? std::string(kNotRegular) : lastError();
    return opened;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    opened.error = S_ISREG(info.st_mode) ? lastError() : std::string(kNotRegular);
    ::close(fd);
    return opened;
  }
  // Cut only once it is known to be the regular file it claims to be.
  if (!append && ::ftruncate(fd, 0) != 0) {
    opened.error = lastError();
    ::close(fd);
    return opened;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (append) ::lseek(fd, 0, SEEK_END);
  opened.stream = ::fdopen(fd, append ? "a" : "w");
  if (opened.stream == nullptr) {
    opened.error = lastError();
    ::close(fd);
  }
  return opened;
}

bool existsNotRegular(const std::string& name) {
  struct stat info {};
  return ::lstat(name.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

std::string folderProblem(const std::string& name) {
  const std::string folder = folderOf(name);
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return lastError();
  if (!S_ISDIR(info.st_mode)) return std::strerror(ENOTDIR);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return lastError();
  return {};
}

bool writeAt(Handle handle, std::uint64_t offset, std::string_view data) {
  const int fd = static_cast<int>(handle.value);
  while (!data.empty()) {
    const ssize_t written = ::pwrite(fd, data.data(), data.size(), static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
    offset += static_cast<std::uint64_t>(written);
  }
  return true;
}

bool syncData(Handle handle) {
  int rc;
  do {
    rc = ::fdatasync(static_cast<int>(handle.value));
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

bool resize(Handle handle, std::uint64_t size) {
  return ::ftruncate(static_cast<int>(handle.value), static_cast<off_t>(size)) == 0;
}

bool close(Handle& handle) {
  if (!handle.open()) return true;
  const int rc = ::close(static_cast<int>(handle.value));
  handle.value = -1;
  return rc == 0;
}

}  // namespace tavrel::files
