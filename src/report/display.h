// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_REPORT_DISPLAY_H_
#define TAVREL_REPORT_DISPLAY_H_

#include <string>
#include <string_view>
#include <vector>

#include "common/run_settings.h"

namespace tavrel {

/// With -sh, opens the finished report with the desktop's registered application and
/// returns at once. Refuses names that do not end in ".htm", ".html" or ".txt" (letter
/// case as given). Failures are reported; the run still ends normally.
void displayReport(const RunSettings& settings, const std::vector<std::string>& arguments);

/// The text handed to the viewer: every argument from the third on (the program name
/// counting as the first), each in double quotes and followed by a blank.
std::string viewerParameters(const std::vector<std::string>& arguments);

/// Starts the platform's viewer for `file` without waiting for it. Returns 0 when it was
/// started, otherwise the system's error code.
int launchViewer(const std::string& file, const std::string& parameters);

/// label + "(" + code + ") " + the system's message text for `code`, on standard error.
void reportWin32Error(std::string_view label, int code);

}  // namespace tavrel

#endif  // TAVREL_REPORT_DISPLAY_H_
