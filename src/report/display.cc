// SPDX-License-Identifier: Apache-2.0
#include "report/display.h"

#include "common/console.h"

namespace tavrel {

namespace {

constexpr std::string_view kViewableExtensions[] = {".htm", ".html", ".txt"};
constexpr std::string_view kExtensionRefused =
    "ERROR: /sh option is only available for extensions .htm/.html/.txt\n";
constexpr std::string_view kSpawnFailedLabel = "ERROR: Failed Report Spawn: ";
constexpr std::string_view kSpawnedMessage = "Report Display Process spawned...\n\n";

}  // namespace

std::string viewerParameters(const std::vector<std::string>& arguments) {
  std::string parameters;
  for (size_t i = 2; i < arguments.size(); ++i) parameters += "\"" + arguments[i] + "\" ";
  return parameters;
}

void displayReport(const RunSettings& settings, const std::vector<std::string>& arguments) {
  if (!settings.showReport || settings.format == ReportFormat::kNone) return;
  bool viewable = false;
  for (std::string_view extension : kViewableExtensions) {
    viewable = viewable || settings.reportFile.ends_with(extension);
  }
  if (!viewable) {
    console::err(kExtensionRefused);
    return;
  }
  int code = launchViewer(settings.reportFile, viewerParameters(arguments));
  if (code != 0) {
    reportWin32Error(kSpawnFailedLabel, code);
    return;
  }
  console::progress(kSpawnedMessage);
}

}  // namespace tavrel
