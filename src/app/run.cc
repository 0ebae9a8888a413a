#include "app/run.h"

#include <cstdio>

#include "cli/command_line.h"
#include "cli/options.h"
#include "cli/run_settings.h"
#include "common/console.h"
#include "common/exit_status.h"
#include "common/version.h"
#include "query/filter.h"

namespace tavrel {

namespace {

void writeBanner() {
  if (console::quiet()) return;
  std::string banner = "\nTavrel ";
  banner += kVersionText;
  banner += kMakerText;
  banner += kReleaseDateText;
  banner += "\n\n";
  console::err(banner);
}

int finish(int exitCode) {
  std::fflush(stdout);
  return exitCode;
}

}  // namespace

int runTavrel(const std::vector<std::string>& arguments) {
  // Checking: nothing is opened or written but console text until every option passed.
  CommandLine commandLine(arguments);
  console::setFlags(commandLine.hasSwitch("q"), commandLine.hasSwitch("d"));
  writeBanner();
  if (PhaseResult r = checkSwitches(commandLine); r.stop) return finish(r.exitCode);
  RunSettings settings;
  FilterPieces filterPieces;
  AgeLimits ageLimits;
  if (PhaseResult r = evaluateOptions(commandLine, settings, filterPieces, ageLimits); r.stop) {
    return finish(r.exitCode);
  }

  // The directory phases join here as their units land.
  return finish(kExitSuccess);
}

}  // namespace tavrel
