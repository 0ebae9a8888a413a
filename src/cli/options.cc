// SPDX-License-Identifier: Apache-2.0
#include "cli/options.h"

#include "cli/exclusion_file.h"
#include "cli/help_text.h"
#include "common/console.h"
#include "common/private_file.h"
#include "common/text.h"
#include "query/disabled_for.h"

namespace tavrel {

namespace {

// Messages of the option checks, written byte for byte.
constexpr std::string_view kBadSwitchesHeading = "ERROR: Bad Command Line Arg(s)\n";
constexpr std::string_view kBadSwitchPrefix = "ERROR:  ";
constexpr std::string_view kNoActionBlock =
    "ERROR: No action options specified.\n"
    "ERROR: Please specify one of the following:\n"
    "ERROR:      /report\n"
    "ERROR:      /disable\n"
    "ERROR:      /delete\n"
    "\n\n";
constexpr std::string_view kTooManyActions = "ERROR: Only one action can be specified.\n\n";
constexpr std::string_view kBadScope = "\nERROR: Invalid Base, use subtree or one\n";
constexpr std::string_view kBadPageSize = "ERROR: Invalid Page Size Specified - setting to 100\n";
constexpr std::string_view kBadAgePrefix = "\nERROR: Possible bad age parameter (";
constexpr std::string_view kBadMaxAgePrefix = "\nERROR: Possible bad max age parameter (";
constexpr std::string_view kBadSortField = "\nERROR: Invalid Report Sort Field.\n\n";
constexpr std::string_view kBadFormat = "\nERROR: Invalid Report Type.\n\n";
constexpr std::string_view kBadDelimiter = "\nERROR: Invalid Delimiter.\n\n";
constexpr std::string_view kNoNewParent = "\nERROR: No /newparent option specified for MOVE.\n\n";
constexpr std::string_view kBadSafety = "\nERROR: Invalid safety value.\n\n";
constexpr std::string_view kBadDisabledFor = "\nERROR: Invalid disabled-for value.\n\n";
constexpr std::string_view kUndoConflict =
    "\nERROR: -undo and -noundo cannot be used together.\n\n";
constexpr std::string_view kUndoIsReport =
    "\nERROR: The undo file and the report file must differ.\n\n";

// Two documents one after the other are no JSON document a reader takes.
constexpr std::string_view kEmptyGroup =
    "\nERROR: -exclgroup needs group DNs separated by ;, none of them empty.\n\n";
constexpr std::string_view kEmptyServer =
    "\nERROR: -dcs needs server names separated by ;, none of them empty.\n\n";
constexpr std::string_view kServersWithoutLogon = "\nERROR: -dcs needs -lastlogon.\n\n";
constexpr std::string_view kJsonAppend = "\nERROR: -append cannot be used with -format json.\n\n";
// "-file -": the report goes to standard output.
constexpr std::string_view kStandardOutputName = "-";
constexpr std::string_view kStdoutAppend = "\nERROR: -append cannot be used with -file -.\n\n";
constexpr std::string_view kStdoutShow = "\nERROR: -sh cannot be used with -file -.\n\n";

// A bind as a named account: its name, and where its password comes from.
constexpr std::string_view kNoUserName = "\nERROR: No account name given for -user.\n\n";
constexpr std::string_view kNoPasswordFileName = "\nERROR: No file name given for -pwfile.\n\n";
constexpr std::string_view kPasswordFileWithoutUser = "\nERROR: -pwfile needs -user.\n\n";

constexpr std::string_view kDefaultReportName = "tavrel.<DATE>";
constexpr std::string_view kDatePlaceholder = "<DATE>";
constexpr std::string_view kUndoSuffix = ".undo.ldif";

const char* flagText(bool flag) {
  return flag ? "1" : "0";
}

PhaseResult refuseWithHint(std::string_view message) {
  console::err(message);
  return PhaseResult::exit(printUsageHint());
}

// The age checks write the value as typed and the number it read as.
PhaseResult refuseAge(std::string_view prefix, const std::string& value, int number) {
  std::string message(prefix);
  message += value;
  message += " - ";
  message += std::to_string(number);
  message += ")\n";
  console::err(message);
  return PhaseResult::exit(kExitFatal);
}

PhaseResult checkActionCount(const CommandLine& commandLine) {
  int actions = 0;
  for (std::string_view name : {"report", "disable", "delete", "move"}) {
    if (commandLine.hasSwitch(name)) ++actions;
  }
  if (actions == 0) return refuseWithHint(kNoActionBlock);
  if (actions > 1) return refuseWithHint(kTooManyActions);
  return PhaseResult::proceed();
}

// Host, scope, referrals, base, page size and time-out, with their echo.
PhaseResult readConnectionOptions(const CommandLine& commandLine, RunSettings& settings) {
  settings.host = commandLine.switchValue("h");
  settings.scope = lowerCase(commandLine.switchValue("s"));
  if (settings.scope.empty()) settings.scope = "subtree";
  if (!contains(settings.scope, "subtree") && !contains(settings.scope, "one")) {
    console::err(kBadScope);
    return PhaseResult::exit(kExitFatal);
  }
  if (commandLine.hasSwitch("norefer")) settings.chaseReferrals = false;
  settings.baseDn = commandLine.switchValue("b");
  std::string inputFilter = commandLine.switchValue("f");
  if (commandLine.hasSwitch("ps")) {
    int pageSize = readInt(commandLine.switchValue("ps"));
    if (pageSize == 0) {
      console::err(kBadPageSize);
    } else {
      settings.pageSize = pageSize;
    }
  }
  console::debugErr("DEBUG: Host : " + settings.host + "\n");
  console::debugErr("DEBUG: Scope: " + settings.scope + "\n");
  console::debugErr("DEBUG: Base : " + settings.baseDn + "\n");
  console::debugErr("DEBUG: Input Filter: " + inputFilter + "\n");
  console::debugErr(formatText("DEBUG: Page Size   : %d\n", settings.pageSize));
  if (commandLine.hasSwitch("t")) {
    settings.timeoutSeconds = readInt(commandLine.switchValue("t"));
    if (settings.timeoutSeconds > 0) settings.writeTimeoutSeconds = settings.timeoutSeconds;
    console::debugErr(formatText("DEBUG: Timeout: %d\n", settings.timeoutSeconds));
  }
  return PhaseResult::proceed();
}

// The selection switches that the filter's first phase turns into pieces.
PhaseResult readFilterOptions(const CommandLine& commandLine, RunSettings& settings) {
  settings.usersMode = commandLine.hasSwitch("users");
  settings.onlyDisabled = commandLine.hasSwitch("onlydisabled");
  settings.excludeDcs = commandLine.hasSwitch("nodc");
  if (commandLine.hasSwitch("af")) settings.addOnFilterText = commandLine.switchValue("af");
  if (commandLine.hasSwitch("f")) settings.filterText = commandLine.switchValue("f");
  settings.realAge = commandLine.hasSwitch("realage");
  settings.useLastLogonTimestamp = commandLine.hasSwitch("llts");
  settings.bitwiseTransform = commandLine.hasSwitch("bit");
  if (commandLine.hasSwitch("disabledfor")) {
    settings.disabledForDays = readDisabledForDays(commandLine.switchValue("disabledfor"));
    if (!settings.disabledForDays) return refuseWithHint(kBadDisabledFor);
  }
  return PhaseResult::proceed();
}

// -age refuses a value that read as 0 without being a 0; -maxage refuses an explicit 0,
// because 0 is how "no maximum" is kept.
PhaseResult readAgeOptions(const CommandLine& commandLine, RunSettings& settings) {
  if (commandLine.hasSwitch("age")) {
    std::string value = commandLine.switchValue("age");
    int days = readInt(value);
    if (days == 0 && !contains(value, "0")) return refuseAge(kBadAgePrefix, value, days);
    settings.ageDays = days;
  }
  if (commandLine.hasSwitch("maxage")) {
    std::string value = commandLine.switchValue("maxage");
    int days = readInt(value);
    if (days == 0 && contains(value, "0")) return refuseAge(kBadMaxAgePrefix, value, days);
    settings.maxAgeDays = days;
  }
  console::debugErr(formatText("DEBUG: Age   : %d\n", settings.ageDays));
  console::debugErr(formatText("DEBUG: MaxAge: %d\n", settings.maxAgeDays));
  return PhaseResult::proceed();
}

PhaseResult readSortOption(const CommandLine& commandLine, RunSettings& settings) {
  bool sort = commandLine.hasSwitch("sort");
  bool reverse = commandLine.hasSwitch("rsort");
  if (!sort && !reverse) return PhaseResult::proceed();
  std::string field = lowerCase(commandLine.switchValue(sort ? "sort" : "rsort"));
  // Later matches win, so "pwage" ends as pwage although it also contains "age".
  static constexpr std::pair<std::string_view, SortField> kFields[] = {{"cn", SortField::kCn},
                                                                       {"age", SortField::kAge},
                                                                       {"pwage", SortField::kPwage},
                                                                       {"os", SortField::kOs},
                                                                       {"llts", SortField::kLlts}};
  SortField chosen = SortField::kNone;
  for (const auto& [text, value] : kFields) {
    if (contains(field, text)) chosen = value;
  }
  if (chosen == SortField::kNone) return refuseWithHint(kBadSortField);
  settings.sortField = chosen;
  settings.reverseSort = reverse;
  console::debugErr(formatText("DEBUG: Sort Option  : %d\n", static_cast<int>(chosen)));
  return PhaseResult::proceed();
}

PhaseResult readFormatOption(const CommandLine& commandLine, RunSettings& settings) {
  if (!commandLine.hasSwitch("format")) return PhaseResult::proceed();
  std::string value = lowerCase(commandLine.switchValue("format"));
  if (value.empty()) value = "html";
  bool matched = false;
  auto choose = [&](ReportFormat format, std::string_view extension) {
    settings.format = format;
    settings.fileExtension = extension;
    matched = true;
  };
  // Later matches win: "htmlcsv" ends as csv.
  if (value.starts_with("html")) choose(ReportFormat::kHtml, "htm");
  if (value.starts_with("dhtml")) choose(ReportFormat::kDhtml, "html");
  if (contains(value, "csv")) choose(ReportFormat::kCsv, "csv.txt");
  if (contains(value, "none")) choose(ReportFormat::kNone, "txt");
  if (contains(value, "json")) choose(ReportFormat::kJson, "json");
  if (contains(value, "jsonl")) choose(ReportFormat::kJsonl, "jsonl");
  if (!matched) return refuseWithHint(kBadFormat);
  return PhaseResult::proceed();
}

PhaseResult readDelimiterOption(const CommandLine& commandLine, RunSettings& settings) {
  if (!commandLine.hasSwitch("delim")) return PhaseResult::proceed();
  std::string value = commandLine.switchValue("delim");
  settings.csvDelimiter.clear();
  if (value.size() > 1) {
    if (contains(lowerCase(value), "tab")) {
      // assign(count, char): GCC 12 sees a false overlap in assigning a literal here.
      settings.csvDelimiter.assign(1, '\t');
      settings.fileExtension = "csv.tab";
    }
  } else {
    settings.csvDelimiter = value;
    if (contains(value, ",")) settings.fileExtension = "csv";
  }
  if (settings.csvDelimiter.empty()) return refuseWithHint(kBadDelimiter);
  return PhaseResult::proceed();
}

void readReportFlags(const CommandLine& commandLine, RunSettings& settings) {
  if (commandLine.hasSwitch("noheader")) settings.writeHeader = false;
  if (commandLine.hasSwitch("nohtmlheader")) settings.writeHtmlHeader = false;
  if (commandLine.hasSwitch("nostats")) settings.writeStats = false;
  if (commandLine.hasSwitch("append")) settings.appendToFile = true;
  if (commandLine.hasSwitch("sh")) settings.showReport = true;
  if (commandLine.hasSwitch("nolc")) settings.lowerCaseNames = false;
}

// A given name without "." or ":" gets the format's extension; "con:" stays as it is so the
// report can go to the console.
std::string reportFileName(const CommandLine& commandLine, const RunSettings& settings,
                           std::string_view dateStamp) {
  std::string name;
  if (commandLine.hasSwitch("file")) {
    name = commandLine.switchValue("file");
    if (name == kStandardOutputName) return name;
    // A device, folder or link of that name is refused as it is, not swapped for another file.
    if (!contains(name, ".") && !contains(name, ":") && !files::existsNotRegular(name)) {
      name += "." + settings.fileExtension;
    }
  } else {
    name = std::string(kDefaultReportName) + "." + settings.fileExtension;
  }
  return replaceAll(name, kDatePlaceholder, dateStamp);
}

void echoReportOptions(const RunSettings& settings) {
  if (!console::debug()) return;
  std::string echo = "DEBUG: Report Options\nDEBUG: --------------\n";
  echo += formatText("DEBUG: Report Type  : %d\n", static_cast<int>(settings.format));
  echo += "DEBUG: CSV Delimiter: [" + settings.csvDelimiter + "]\n";
  echo += formatText("DEBUG: HtmlHeader   : %s\n", flagText(settings.writeHtmlHeader));
  echo += formatText("DEBUG: Header       : %s\n", flagText(settings.writeHeader));
  echo += formatText("DEBUG: Sort Option  : %d\n", static_cast<int>(settings.sortField));
  echo += formatText("DEBUG: Append Mode  : %s\n", flagText(settings.appendToFile));
  echo += formatText("DEBUG: Show Report  : %s\n", flagText(settings.showReport));
  echo += formatText("DEBUG: Normalize    : %s\n", flagText(settings.lowerCaseNames));
  echo += "DEBUG: Report File  : " + settings.reportFile + "\n";
  console::err(echo);
}

PhaseResult readReportOptions(const CommandLine& commandLine, RunSettings& settings,
                              std::string_view dateStamp) {
  if (PhaseResult r = readSortOption(commandLine, settings); r.stop) return r;
  if (PhaseResult r = readFormatOption(commandLine, settings); r.stop) return r;
  if (PhaseResult r = readDelimiterOption(commandLine, settings); r.stop) return r;
  readReportFlags(commandLine, settings);
  if (settings.appendToFile && settings.format == ReportFormat::kJson) {
    return refuseWithHint(kJsonAppend);
  }
  settings.reportFile = reportFileName(commandLine, settings, dateStamp);
  if (settings.reportFile == kStandardOutputName && settings.format != ReportFormat::kNone) {
    if (settings.appendToFile) return refuseWithHint(kStdoutAppend);
    if (settings.showReport) return refuseWithHint(kStdoutShow);
    // Standard output carries the report now: progress and statistics move to standard error.
    console::setOutputToErr(true);
  }
  echoReportOptions(settings);
  return PhaseResult::proceed();
}

PhaseResult readActionOptions(const CommandLine& commandLine, RunSettings& settings) {
  settings.newParent = commandLine.switchValue("newparent");
  // Exactly one of these is present: the action count was checked first.
  if (commandLine.hasSwitch("report")) settings.action = ActionKind::kReport;
  if (commandLine.hasSwitch("delete")) settings.action = ActionKind::kDelete;
  if (commandLine.hasSwitch("disable")) settings.action = ActionKind::kDisable;
  if (commandLine.hasSwitch("stamp")) settings.stamp = true;
  if (commandLine.hasSwitch("move")) {
    settings.action = ActionKind::kMove;
    if (settings.newParent.empty()) return refuseWithHint(kNoNewParent);
  }
  // -renamemask is accepted for compatibility, but the mask never changes.
  if (console::debug()) {
    std::string echo = "DEBUG: Action Options\nDEBUG: --------------\n";
    echo += formatText("DEBUG: Action Type: %d\n", static_cast<int>(settings.action));
    echo += formatText("DEBUG: Stamp      : %s\n", flagText(settings.stamp));
    echo += "DEBUG: New Parent : " + settings.newParent + "\n";
    echo += "DEBUG: Rename Mask: " + settings.renameMask + "\n";
    console::err(echo);
  }

  if (commandLine.hasSwitch("safety")) {
    int limit = readInt(commandLine.switchValue("safety"));
    if (limit == 0) return refuseWithHint(kBadSafety);
    settings.safetyLimit = limit;
  } else if (commandLine.hasSwitch("unsafe")) {
    settings.safetyLimit = -1;
  }
  if (commandLine.hasSwitch("forreal")) settings.forReal = true;
  console::debugErr(formatText("DEBUG: Safety Setting: %d\n", settings.safetyLimit));
  console::debugErr(formatText("DEBUG: For Real Setting: %s\n", flagText(settings.forReal)));
  return PhaseResult::proceed();
}

// Where a -forreal run that can write keeps the records that undo it; with -d, echoes the
// switches of the later stages after the action options.
PhaseResult readUndoOptions(const CommandLine& commandLine, RunSettings& settings,
                            std::string_view dateStamp) {
  const bool named = commandLine.hasSwitch("undo");
  const bool off = commandLine.hasSwitch("noundo");
  if (named && off) return refuseWithHint(kUndoConflict);
  std::string given;
  if (named) {
    given = replaceAll(commandLine.switchValue("undo"), kDatePlaceholder, dateStamp);
  }
  const bool writes = settings.action == ActionKind::kDisable ||
                      settings.action == ActionKind::kDelete ||
                      settings.action == ActionKind::kMove;
  if (writes && settings.forReal && !off) {
    settings.undoFile = named ? given : defaultUndoFileName(settings, dateStamp);
    settings.undoFileDefault = !named;
    if (settings.format != ReportFormat::kNone && settings.undoFile == settings.reportFile) {
      return refuseWithHint(kUndoIsReport);
    }
  }
  if (settings.disabledForDays) {
    console::debugErr(formatText("DEBUG: Disabled For (days): %lld\n", *settings.disabledForDays));
  }
  if (named) console::debugErr("DEBUG: Undo File: " + given + "\n");
  if (off) console::debugErr("DEBUG: Undo File: (none)\n");
  return PhaseResult::proceed();
}

// An empty value would widen the run (-b "" searches the whole domain) or fall back to a
// name or server nobody chose (-file "" writes a hidden ".htm", -h "" the library default), so
// these switches are refused without a value, whether none followed or an empty one did.
// Named in this order when several are empty.
PhaseResult refuseEmptyValues(const CommandLine& commandLine) {
  for (std::string_view name : {"b", "h", "file", "undo", "newparent", "f"}) {
    if (commandLine.hasSwitch(name) && commandLine.switchValue(name).empty()) {
      std::string message = "\nERROR: -";
      message += name;
      message += " needs a value.\n\n";
      return refuseWithHint(message);
    }
  }
  return PhaseResult::proceed();
}

// The exclusion echo goes to standard output, unlike the rest of the echo.
void readExclusions(const CommandLine& commandLine, RunSettings& settings) {
  if (!commandLine.hasSwitch("excldn")) return;
  console::debugOut("DEBUG: DN Exclusions\n");
  if (commandLine.hasSwitch("excldndelim")) {
    settings.exclusionDelimiter = commandLine.switchValue("excldndelim");
  }
  settings.dnExclusions =
      splitExclusions(lowerCase(commandLine.switchValue("excldn")), settings.exclusionDelimiter);
  for (const std::string& item : settings.dnExclusions) {
    console::debugOut("DEBUG: Exclude DN: " + item + "\n");
  }
}

// The password itself is never a switch's value, so nothing here can echo it.
PhaseResult readCredentialOptions(const CommandLine& commandLine, RunSettings& settings) {
  const bool user = commandLine.hasSwitch("user");
  const bool file = commandLine.hasSwitch("pwfile");
  if (user) {
    settings.bindUser = commandLine.switchValue("user");
    if (settings.bindUser.empty()) return refuseWithHint(kNoUserName);
  }
  if (file) {
    if (!user) return refuseWithHint(kPasswordFileWithoutUser);
    settings.passwordFile = commandLine.switchValue("pwfile");
    if (settings.passwordFile.empty()) return refuseWithHint(kNoPasswordFileName);
  }
  if (user) console::debugErr("DEBUG: User: " + settings.bindUser + "\n");
  if (file) console::debugErr("DEBUG: Password File: " + settings.passwordFile + "\n");
  return PhaseResult::proceed();
}

}  // namespace

const std::vector<std::string>& acceptedSwitches() {
  // clang-format off
  static const std::vector<std::string> list = {
      // Flags.
      ":q", ":d", ":help", ":?", ":report", ":disable", ":delete", ":norefer", ":onlydisabled",
      ":nodc", ":noheader", ":nohtmlheader", ":nostats", ":append", ":sh", ":unsafe", ":forreal",
      ":nolc", ":stamp", ":users", ":move", ":realage", ":noundo",
      // Value switches ("bit" and "llts" only matter by their presence).
      "h", "s", "b", "f", "af", "ps", "bit", "t", "age", "maxage", "sort", "rsort", "format",
      "delim", "file", "newparent", "renamemask", "safety", "addattrib", "excldn", "excldndelim",
      "llts", "undo", "disabledfor", "user", "pwfile", "exclfile", ":bothages", "exclgroup",
      ":destroykeys", ":lastlogon", "dcs"};
  // clang-format on
  return list;
}

PhaseResult checkSwitches(CommandLine& commandLine) {
  if (commandLine.validateSwitches(acceptedSwitches()) == 0) return PhaseResult::proceed();
  std::string message(kBadSwitchesHeading);
  for (const std::string& name : commandLine.unrecognisedSwitches()) {
    message += kBadSwitchPrefix;
    message += name;
    message += "\n";
  }
  message += "\n\n";
  return refuseWithHint(message);
}

PhaseResult evaluateOptions(const CommandLine& commandLine, RunSettings& settings,
                            FilterPieces& filterPieces, AgeLimits& ageLimits, StartClock clock) {
  if (commandLine.hasSwitch("help") || commandLine.hasSwitch("?")) {
    return PhaseResult::exit(printUsage());
  }
  settings.arguments = commandLine.arguments();
  if (PhaseResult r = checkActionCount(commandLine); r.stop) return r;
  if (PhaseResult r = readConnectionOptions(commandLine, settings); r.stop) return r;

  if (PhaseResult r = readFilterOptions(commandLine, settings); r.stop) return r;
  filterPieces = buildFilterSelection(settings);

  if (PhaseResult r = readAgeOptions(commandLine, settings); r.stop) return r;
  // The one start time of the run: thresholds, debug lines and the file's date stamp.
  ageLimits = buildAgeLimits(settings, clock(), filterPieces);

  if (PhaseResult r = readReportOptions(commandLine, settings, ageLimits.dateStamp); r.stop) {
    return r;
  }
  if (PhaseResult r = readActionOptions(commandLine, settings); r.stop) return r;
  if (PhaseResult r = refuseEmptyValues(commandLine); r.stop) return r;
  if (PhaseResult r = readUndoOptions(commandLine, settings, ageLimits.dateStamp); r.stop) {
    return r;
  }
  readExclusions(commandLine, settings);
  if (commandLine.hasSwitch("addattrib")) {
    settings.addAttributes = commandLine.switchValue("addattrib");
  }
  if (PhaseResult r = readExclusionFileOption(commandLine, settings); r.stop) return r;
  settings.bothAges = commandLine.hasSwitch("bothages");
  if (settings.bothAges) console::debugErr("DEBUG: Both Ages: 1\n");
  if (commandLine.hasSwitch("exclgroup")) {
    settings.excludedGroups = splitExclusions(commandLine.switchValue("exclgroup"), ";");
    for (const std::string& group : settings.excludedGroups) {
      if (group.empty()) return refuseWithHint(kEmptyGroup);
      console::debugErr("DEBUG: Exclude Group: " + group + "\n");
    }
    if (settings.excludedGroups.empty()) return refuseWithHint(kEmptyGroup);
  }
  if (PhaseResult r = readCredentialOptions(commandLine, settings); r.stop) return r;
  settings.destroyKeys = commandLine.hasSwitch("destroykeys");
  if (settings.destroyKeys) console::debugErr("DEBUG: Destroy Keys: 1\n");
  settings.lastLogon = commandLine.hasSwitch("lastlogon");
  if (settings.lastLogon) console::debugErr("DEBUG: Last Logon: 1\n");
  if (commandLine.hasSwitch("dcs")) {
    if (!settings.lastLogon) return refuseWithHint(kServersWithoutLogon);
    settings.logonServers = splitExclusions(commandLine.switchValue("dcs"), ";");
    for (const std::string& server : settings.logonServers) {
      if (server.empty()) return refuseWithHint(kEmptyServer);
      console::debugErr("DEBUG: DC: " + server + "\n");
    }
    if (settings.logonServers.empty()) return refuseWithHint(kEmptyServer);
  }
  return PhaseResult::proceed();
}

std::string defaultUndoFileName(const RunSettings& settings, std::string_view dateStamp) {
  const std::string& report = settings.reportFile;
  // Without a report file (or with the console as the report) the journal takes the default
  // report name.
  if (settings.format == ReportFormat::kNone || contains(lowerCase(report), "con:") ||
      report == kStandardOutputName) {
    return replaceAll(std::string(kDefaultReportName).append(kUndoSuffix), kDatePlaceholder,
                      dateStamp);
  }
  const std::size_t folder = report.find_last_of("/\\");
  const std::size_t nameStart = folder == std::string::npos ? 0 : folder + 1;
  std::size_t cut = std::string::npos;
  const std::string extension = "." + settings.fileExtension;
  // The format's own extension may hold a dot of its own ("csv.txt").
  if (report.size() - nameStart > extension.size() && report.ends_with(extension)) {
    cut = report.size() - extension.size();
  } else {
    const std::size_t dot = report.rfind('.');
    if (dot != std::string::npos && dot > nameStart) cut = dot;
  }
  return report.substr(0, cut) + std::string(kUndoSuffix);
}

std::vector<std::string> splitExclusions(std::string_view text, std::string_view delimiter) {
  std::vector<std::string> items;
  // An empty delimiter matches at every position; stepping one byte keeps the scan moving.
  const size_t step = delimiter.empty() ? 1 : delimiter.size();
  size_t from = 0;
  while (from < text.size()) {
    size_t at = text.find(delimiter, from);
    if (at == std::string_view::npos) break;
    items.emplace_back(text.substr(from, at - from));
    from = at + step;
  }
  if (from < text.size()) items.emplace_back(text.substr(from));
  return items;
}

}  // namespace tavrel
