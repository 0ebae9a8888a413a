// SPDX-License-Identifier: Apache-2.0
// The command line from argument splitting through option evaluation to the texts the options
// feed (filter, attribute list, sort key), as the run does it before contacting a directory.
// Input: the arguments after the program name, separated by line breaks (or NULs, which no
// real argument can hold).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/options.h"
#include "common/console.h"
#include "common/text.h"
#include "fuzz/fuzz_check.h"
#include "query/attribute_list.h"
#include "query/filter.h"

namespace {

// 2004-12-29 01:09:22 UTC: a fixed start so that equal inputs give equal runs.
tavrel::Int8 fixedStart() {
  return 127487561620000000;
}

std::vector<std::string> splitArguments(const uint8_t* data, size_t size) {
  std::vector<std::string> arguments = {"tavrel"};
  std::string current;
  for (size_t i = 0; i < size; ++i) {
    char c = static_cast<char>(data[i]);
    if (c == '\n' || c == '\0') {
      arguments.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) arguments.push_back(current);
  return arguments;
}

bool isExitCode(int code) {
  return code == tavrel::kExitUsage || code == tavrel::kExitFatal;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavrel;
  // Everything the option checks print lands here, and the quiet/debug flags set below are
  // restored when it goes, so no input leaves state behind for the next one.
  console::Capture capture;

  CommandLine commandLine(splitArguments(data, size));
  console::setFlags(commandLine.hasSwitch("q"), commandLine.hasSwitch("d"));
  if (PhaseResult r = checkSwitches(commandLine); r.stop) {
    FUZZ_CHECK(r.exitCode == kExitUsage);
    FUZZ_CHECK(!commandLine.unrecognisedSwitches().empty());
    return 0;
  }
  RunSettings settings;
  FilterPieces pieces;
  AgeLimits limits;
  if (PhaseResult r = evaluateOptions(commandLine, settings, pieces, limits, fixedStart); r.stop) {
    FUZZ_CHECK(isExitCode(r.exitCode));
    // A refusal never goes unexplained.
    FUZZ_CHECK(!capture.err().empty() || !capture.out().empty());
    return 0;
  }

  // What every accepted command line guarantees to the phases after it.
  FUZZ_CHECK(settings.action == ActionKind::kReport || settings.action == ActionKind::kDisable ||
             settings.action == ActionKind::kDelete || settings.action == ActionKind::kMove);
  FUZZ_CHECK(settings.action != ActionKind::kMove || !settings.newParent.empty());
  FUZZ_CHECK(settings.safetyLimit != 0);
  FUZZ_CHECK(settings.pageSize != 0);
  FUZZ_CHECK(!settings.csvDelimiter.empty());
  FUZZ_CHECK(contains(settings.scope, "subtree") || contains(settings.scope, "one"));
  FUZZ_CHECK(!contains(settings.reportFile, "<DATE>"));
  for (const std::string& item : settings.dnExclusions) FUZZ_CHECK(lowerCase(item) == item);

  // The functional level decides between pwdLastSet and lastLogonTimestamp; vary it with
  // the input so both forms are reached.
  RootDseInfo rootDse;
  rootDse.domainFunctionality = static_cast<int>(size % 4);
  rootDse.defaultNamingContext = "DC=example,DC=test";
  buildFinalFilter(pieces, limits, rootDse.domainFunctionality, settings);
  buildAttributeList(settings, rootDse);
  buildSortSpec(settings, rootDse);
  return 0;
}
