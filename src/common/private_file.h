// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_COMMON_PRIVATE_FILE_H_
#define TAVREL_COMMON_PRIVATE_FILE_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tavrel::files {

/// The reason given when a name exists but is a folder, a device, a pipe or a symbolic link.
constexpr std::string_view kNotRegular = "not a regular file";

/// An open file written at explicit offsets; -1 when none.
struct Handle {
  std::intptr_t value = -1;
  bool open() const { return value != -1; }
};

/// The outcome of creating or opening a file: the handle or stream, or the system's reason.
struct Opened {
  Handle handle;
  std::FILE* stream = nullptr;
  bool exists = false;  ///< the name was taken (by anything, a symbolic link included)
  std::string error;    ///< the system's words, empty on success
};

/// Creates `name` for this run alone: readable and writable by its owner only, and only when
/// nothing of that name exists, not even a symbolic link (which is never followed).
Opened createPrivate(const std::string& name);

/// Opens `name` to write a report, created when missing, else truncated (or appended to). A
/// symbolic link is never followed and anything but a regular file is refused (kNotRegular).
/// The stream is in text mode.
Opened openRegularForWriting(const std::string& name, bool append);

/// Whether something exists under `name` that is not a regular file (a symbolic link counts).
bool existsNotRegular(const std::string& name);

/// Why no file could be created as `name` in its folder (missing, not a folder, not
/// writable), in the system's words; empty when nothing is known to stand in the way.
std::string folderProblem(const std::string& name);

/// Writes all of `data` at `offset`; false when the file did not take every byte.
bool writeAt(Handle handle, std::uint64_t offset, std::string_view data);

/// Waits until what was written has reached the disk.
bool syncData(Handle handle);

/// Cuts (or extends) the file to `size` bytes.
bool resize(Handle handle, std::uint64_t size);

/// Closes the handle; false when the system reports a loss.
bool close(Handle& handle);

/// The system's words for the last failure of a call of this unit.
std::string lastError();

}  // namespace tavrel::files

#endif  // TAVREL_COMMON_PRIVATE_FILE_H_
