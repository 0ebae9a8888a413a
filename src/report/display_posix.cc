// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>

#include <cstring>
#include <string>

#include "common/console.h"
#include "report/display.h"

extern char** environ;

namespace tavrel {

namespace {

// The desktop's "open with the registered application" command.
constexpr const char* kOpener = "xdg-open";

}  // namespace

int launchViewer(const std::string& file, const std::string& parameters) {
  // xdg-open takes the file only; the parameter text has no place on its command line.
  (void)parameters;
  std::string program = kOpener;
  // A name starting with "-" would be read as an option of the opener.
  std::string target = file.starts_with("-") ? "./" + file : file;
  char* argv[] = {program.data(), target.data(), nullptr};
  // The viewer gets none of our standard streams: one that held them open would keep a
  // pipeline reading the run's output (tavrel ... | tee log) waiting until the viewer ends,
  // and would write into it after the run has finished.
  posix_spawn_file_actions_t streams;
  int code = posix_spawn_file_actions_init(&streams);
  if (code != 0) return code;
  code = posix_spawn_file_actions_addopen(&streams, 0, "/dev/null", O_RDONLY, 0);
  if (code == 0) code = posix_spawn_file_actions_addopen(&streams, 1, "/dev/null", O_WRONLY, 0);
  if (code == 0) code = posix_spawn_file_actions_addopen(&streams, 2, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  // posix_spawnp reports a missing opener (ENOENT) as its result. The child is not waited
  // for: the run ends right after this and its exit hands the child to init.
  if (code == 0) code = posix_spawnp(&child, kOpener, &streams, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&streams);
  return code;
}

void reportWin32Error(std::string_view label, int code) {
  // Appended piece by piece: GCC 12 sees a false overlap in "(" + std::string at -O2/-O3.
  std::string text(label);
  text += '(';
  text += std::to_string(code);
  text += ") ";
  // POSIX texts carry no line end of their own, unlike the Windows system messages.
  const char* message = std::strerror(code);
  text += message != nullptr ? message : "Unknown Error";
  text += "\n";
  console::err(text);
}

}  // namespace tavrel
