// SPDX-License-Identifier: Apache-2.0
#include "app/run.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "actions/account_guards.h"
#include "actions/action_engine.h"
#include "actions/delete_guard.h"
#include "actions/undo_journal.h"
#include "cli/command_line.h"
#include "cli/credentials.h"
#include "cli/gnu_switches.h"
#include "cli/help_text.h"
#include "cli/options.h"
#include "common/console.h"
#include "common/exit_status.h"
#include "common/private_file.h"
#include "common/run_settings.h"
#include "common/text.h"
#include "common/version.h"
#include "directory/deletion_recovery_read.h"
#include "directory/ldap_client.h"
#include "directory/library_versions.h"
#include "directory/modify.h"
#include "directory/root_dse.h"
#include "directory/session.h"
#include "query/attribute_list.h"
#include "query/dc_logon_search.h"
#include "query/filter.h"
#include "query/group_exclusion.h"
#include "query/paged_search.h"
#include "report/display.h"
#include "report/prepared_rows.h"
#include "report/report_writer.h"
#include "report/row_cells.h"

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

constexpr char kTerminating[] = "Terminating program.\n";
constexpr char kCompleted[] = "\nCommand completed successfully\n\n";
constexpr char kCompletedWithErrors[] = "\nCommand completed with errors\n\n";
constexpr char kRootDseFailed[] = "ERROR: Couldn't gather RootDSE Info...\n";
constexpr char kCreateFailed[] = "Error: Couldn't create ";
constexpr char kJournalKeysLead[] = "NOTE: The undo file ";
constexpr char kJournalKeysTail[] =
    " holds recovery passwords: keep it where only you can read it.\n";
constexpr char kNoRecycleBin[] =
    "WARN: The Recycle Bin is not enabled: deleted accounts keep only their SID and a few "
    "attributes; the undo journal is what brings the rest back.\n";
constexpr char kRecycleBinUnknown[] =
    "WARN: Whether the Recycle Bin is enabled could not be read: deleted accounts may keep only "
    "their SID and a few attributes; the undo journal is what brings the rest back.\n";
constexpr char kWriteFailed[] = "Error: Couldn't write ";
constexpr char kReasonSeparator[] = ": ";
constexpr char kReportFailedLead[] = "\nERROR: Couldn't write the report file ";
constexpr char kReportFailedTail[] = "; nothing more is written to the directory.\n";
constexpr char kUndoNameTakenLead[] = "Undo file ";
constexpr char kUndoNameTakenMiddle[] = " exists; this run's undo file is ";

PhaseResult refuseFile(const std::string& name, std::string_view reason) {
  console::err(std::string(kCreateFailed) + name + kReasonSeparator + std::string(reason) + "\n");
  return PhaseResult::exit(kExitUsage);
}

/// The report and the journal must be creatable before the directory is contacted: a run
/// that could not keep them would have searched (and kept a server busy) for nothing.
PhaseResult checkOutputFolders(const RunSettings& settings) {
  // "con:" is the Windows console, a device on purpose.
  if (settings.format != ReportFormat::kNone && !contains(lowerCase(settings.reportFile), "con:")) {
    if (files::existsNotRegular(settings.reportFile)) {
      return refuseFile(settings.reportFile, files::kNotRegular);
    }
    if (std::string problem = files::folderProblem(settings.reportFile); !problem.empty()) {
      return refuseFile(settings.reportFile, problem);
    }
  }
  if (!settings.undoFile.empty()) {
    if (std::string problem = files::folderProblem(settings.undoFile); !problem.empty()) {
      return refuseFile(settings.undoFile, problem);
    }
  }
  return PhaseResult::proceed();
}

/// Opens and binds the session and reads the root entry. Either failure ends the run.
/// A bind as a named account gets its identity; the password is wiped once the bind is done.
PhaseResult connectDirectory(const RunSettings& settings, ldap::BindIdentity& identity,
                             std::optional<DirectorySession>& session, RootDseInfo& rootDse) {
  console::debugErr("DEBUG: OpenLDAP - [" + settings.host + "]\n");
  std::optional<std::string> host;
  if (!settings.host.empty()) host = settings.host;
  session = OpenLDAP(host, settings.chaseReferrals, identity.user.empty() ? nullptr : &identity);
  // -lastlogon binds to every domain controller as the same identity, after the search.
  if (!settings.lastLogon) identity.password.wipe();
  if (!session) {
    console::err(kTerminating);
    return PhaseResult::exit(kExitFatal);
  }

  console::debugErr("DEBUG: Gathering RootDSE\n");
  if (gatherRootDse(*session, rootDse) != ldap::kSuccess) {
    // The one place where the run closes its session: it ends here.
    session->connection->unbind();
    console::err(kRootDseFailed);
    console::err(kTerminating);
    return PhaseResult::exit(kExitFatal);
  }
  console::debugOut("DEBUG: RootDSE Completed\n");
  console::progress("Processed at " + rootDse.dnsHostName + "\n");
  console::progress("Default Naming Context: " + rootDse.defaultNamingContext + "\n\n");
  return PhaseResult::proceed();
}

/// Whether the run's action writes nothing to the directory.
bool onlyReports(ActionKind action) {
  return action != ActionKind::kDisable && action != ActionKind::kDelete &&
         action != ActionKind::kMove;
}

constexpr char kLogonUnknown[] = "lastLogon unknown on ";
constexpr char kNoControllerList[] = "the domain controllers could not be listed";

/// Asks each domain controller for the accounts that logged on there since the threshold and
/// drops them from the run. A server that did not answer in full leaves the run incomplete:
/// returns its name, or the reason when no server could be listed; empty when all answered.
std::string checkDcLogons(DirectorySession& session, const RunSettings& settings,
                          ldap::BindIdentity& identity, const RootDseInfo& rootDse,
                          const std::string& base, const std::string& filter,
                          const AgeLimits& limits, SearchOutcome& search,
                          std::vector<std::string>& asked) {
  asked = settings.logonServers.empty()
              ? domainControllerNames(session, rootDse.defaultNamingContext)
              : settings.logonServers;
  const std::string recent = recentLogonFilter(filter, limits.oldAgeText);
  std::vector<DcLogons> answers;
  for (const std::string& server : asked) {
    answers.push_back(searchDcLogons(server, identity.user.empty() ? nullptr : &identity, settings,
                                     base, recent));
  }
  identity.password.wipe();
  std::string unanswered = applyDcLogons(search.objects, answers);
  if (asked.empty()) return kNoControllerList;
  return unanswered.empty() ? std::string() : kLogonUnknown + unanswered;
}

int finish(int exitCode) {
  std::fflush(stdout);
  return exitCode;
}

/// Reads one number of a dotted release text from position at on; -1 when none is there.
constexpr int releaseGroup(std::string_view text, size_t& at) {
  int value = -1;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    value = (value < 0 ? 0 : value * 10) + (text[at] - '0');
  }
  return value;
}

/// "V01.05.00cpp" names release 1.5.0: the banner's text and the package's number must agree.
constexpr bool sameRelease(std::string_view version, std::string_view number) {
  if (!version.starts_with('V')) return false;
  size_t v = 1;
  size_t n = 0;
  for (int group = 0; group < 3; ++group) {
    if (group > 0) {
      if (v >= version.size() || version[v] != '.' || n >= number.size() || number[n] != '.') {
        return false;
      }
      ++v;
      ++n;
    }
    const int fromVersion = releaseGroup(version, v);
    if (fromVersion < 0 || fromVersion != releaseGroup(number, n)) return false;
  }
  return n == number.size();
}
static_assert(sameRelease(kVersionText, kReleaseNumber));

/// --help and --version, answered before the banner; none when the run goes on as usual.
std::optional<int> answerGnuSwitch(const std::vector<std::string>& arguments) {
  switch (findGnuSwitch(arguments)) {
    case GnuSwitch::kHelp:
      console::out(usageText());
      return kExitSuccess;
    case GnuSwitch::kVersion: {
      std::string text = "tavrel ";
      text += kReleaseNumber;
      text += " (";
      text += kVersionText;
      text += ")\n";
      text += ldap::libraryVersionLines();
      console::out(text);
      return kExitSuccess;
    }
    case GnuSwitch::kNone:
      break;
  }
  return std::nullopt;
}

}  // namespace

int runTavrel(const std::vector<std::string>& arguments) {
  if (std::optional<int> code = answerGnuSwitch(arguments)) return finish(*code);
  // Checking: nothing is opened or written but console text until every option passed.
  CommandLine commandLine(arguments);
  console::setFlags(commandLine.hasSwitch("q"), commandLine.hasSwitch("d"));
  writeBanner();
  if (PhaseResult r = checkSwitches(commandLine); r.stop) return finish(r.exitCode);
  RunSettings settings;  // written by option evaluation only, read-only afterwards
  FilterPieces filterPieces;
  AgeLimits ageLimits;
  if (PhaseResult r = evaluateOptions(commandLine, settings, filterPieces, ageLimits); r.stop) {
    return finish(r.exitCode);
  }

  if (PhaseResult r = checkOutputFolders(settings); r.stop) return finish(r.exitCode);
  ldap::BindIdentity identity;
  if (PhaseResult r = readBindCredentials(settings, identity); r.stop) return finish(r.exitCode);

  // Connected: the session and the root entry live until the process ends.
  std::optional<DirectorySession> session;
  RootDseInfo rootDse;
  if (PhaseResult r = connectDirectory(settings, identity, session, rootDse); r.stop) {
    return finish(r.exitCode);
  }

  if (refuseBothAges(settings, rootDse.domainFunctionality)) return finish(kExitFatal);
  if (!excludedGroupsExist(*session, settings.excludedGroups)) return finish(kExitFatal);

  // Without -b the default naming context is the search base.
  const std::string searchBase =
      settings.baseDn.empty() ? rootDse.defaultNamingContext : settings.baseDn;

  // Query: one paged search collects every matching object; a failed search leaves fewer
  // (or no) objects and the run goes on.
  std::string filter =
      buildFinalFilter(filterPieces, ageLimits, rootDse.domainFunctionality, settings);
  AttributeList attributes = buildAttributeList(settings, rootDse);
  SortSpec sort = buildSortSpec(settings, rootDse);
  ReportWriter report;
  report.prepare(settings, attributes.names);
  ActionProgress actions = startActions(settings);
  if (settings.action == ActionKind::kDelete || !settings.newParent.empty()) {
    actions.checkProtection = keepsSecurityDescriptors(*session, rootDse.subschemaSubentry);
  }
  // A run that changes nothing renders each account's row while the next pages are still on
  // their way, and keeps only the row; a modifying run keeps every account, for the actions.
  PreparedRows preparedRows(report);
  RecordSink prepareRow;
  // -lastlogon may still drop accounts after the search, so their rows wait for it.
  if (onlyReports(settings.action) && !settings.lastLogon) {
    prepareRow = [&](ObjectRecord& record) {
      if (settings.format == ReportFormat::kNone) return;
      RowMarks marks;
      applyAction(*session, settings, ageLimits.startText, record, marks, actions);
      preparedRows.add(record, marks);
    };
  }
  SearchOutcome search =
      runPagedSearch(*session, settings, rootDse, searchBase, filter, attributes, sort, prepareRow);

  std::vector<std::string> dcsAsked;
  std::string logonUnknown;
  if (settings.lastLogon) {
    logonUnknown = checkDcLogons(*session, settings, identity, rootDse, searchBase, filter,
                                 ageLimits, search, dcsAsked);
    if (!logonUnknown.empty()) {
      console::err("INCOMPLETE: " + logonUnknown + "\n");
      if (search.complete) search.incompleteReason = logonUnknown;
      search.complete = false;
    }
  }

  // What a delete can be taken back with, for the header, the journal and a warning before it
  // starts.
  DeletionRecovery deletionRecovery;
  if (settings.action == ActionKind::kDelete) {
    deletionRecovery = readDeletionRecovery(*session, rootDse.configurationNamingContext);
    if (settings.forReal && !deletionRecovery.recycleBin) {
      console::err(deletionRecovery.known ? kNoRecycleBin : kRecycleBinUnknown);
    }
  }

  actions.namingContext = rootDse.defaultNamingContext;
  actions.recycleBin = deletionRecovery.known && deletionRecovery.recycleBin;

  // The undo journal exists before the first write, or nothing is written at all.
  UndoJournal journal;
  if (!settings.undoFile.empty()) {
    JournalRun run{.startDate = ageLimits.startDate,
                   .server = settings.host.empty() ? rootDse.dnsHostName : settings.host,
                   .uri = session->connection->serverUri(),
                   .searchBase = searchBase,
                   .arguments = arguments,
                   .newParent = settings.newParent,
                   .columns = attributes.names,
                   .deletes = settings.action == ActionKind::kDelete,
                   .recovery = deletionRecovery};
    // Each run has a journal of its own: a name already taken is numbered when the run made
    // it up, and refused when it was given.
    if (!openUndoJournal(journal, settings.undoFile, settings.undoFileDefault, run)) {
      return finish(refuseFile(journal.name, journal.error).exitCode);
    }
    if (journal.name != settings.undoFile) {
      console::err(kUndoNameTakenLead + settings.undoFile + kUndoNameTakenMiddle + journal.name +
                   ".\n");
    }
    report.noteUndoFile(journal.name);
  }

  // Reporting: the file is created only now, so a run that stopped earlier leaves none.
  if (settings.format != ReportFormat::kNone) {
    if (PhaseResult r = report.open(settings); r.stop) return finish(r.exitCode);
    ReportHeader header{.limits = ageLimits,
                        .finishDate = search.finishDate,
                        .finishTime = search.finishTime,
                        .rootDse = rootDse,
                        .searchBase = searchBase,
                        .filter = filter,
                        .sortAttribute = sort.sortAttribute,
                        .searchComplete = search.complete,
                        .incompleteReason = search.incompleteReason,
                        .deletionRecovery = deletionRecovery};
    header.protectedAccounts = anyProtectedAccount(settings, ageLimits.startText, search.objects);
    header.heldBackByList = search.heldBackByList;
    header.dcsAsked = dcsAsked;
    report.beginReport(settings, header, attributes.names);
  }
  setWriteTimeout(settings.writeTimeoutSeconds);
  if (journal.file.open()) actions.journal = &journal;
  if (settings.format != ReportFormat::kNone && !preparedRows.writeTo(report, search.finishTime)) {
    report.noteRowsLost();
  }
  // A write whose row cannot reach the report would go unrecorded: once the report file
  // fails, the accounts after it are left alone.
  const bool rowsMustLand =
      settings.forReal && settings.format != ReportFormat::kNone && !onlyReports(settings.action);
  for (ObjectRecord& record : search.objects) {
    ObjectAges ages = objectAges(record, search.finishTime);
    RowTexts rowTexts = beginRowTexts(record, ages.pwage, ages.lltsAge);
    RowMarks marks;
    if (!logonUnknown.empty() && !onlyReports(settings.action)) {
      leaveForUnknownLogon(settings, logonUnknown, record, marks, actions);
    } else {
      applyAction(*session, settings, ageLimits.startText, record, marks, actions);
    }
    if (settings.format != ReportFormat::kNone) report.writeRow(record, marks, rowTexts);
    if (rowsMustLand && !actions.counters.writingStopped && !report.rowsReachedFile()) {
      console::err(std::string(kReportFailedLead) + settings.reportFile + kReportFailedTail);
      actions.counters.writingStopped = true;
      actions.counters.writingStoppedAt = record.get("DN");
    }
  }
  bool journalKept = true;
  if (journal.file.open() && !closeUndoJournal(journal)) {
    journalKept = false;
    console::err(std::string(kWriteFailed) + journal.name + kReasonSeparator + journal.error +
                 "\n");
  }
  if (actions.journalHoldsKeys) {
    console::err(std::string(kJournalKeysLead) + journal.name + kJournalKeysTail);
  }
  // A report that could not be written is said, but the directory's outcomes decide the
  // status when they are worse.
  const bool reportWritten = !report.finish(actions.counters, settings).stop;
  if (reportWritten) displayReport(settings, arguments);

  // Scripts read the exit code, people the last line: both say whether everything was done.
  int status = finishedRunStatus(search.complete, actions.counters, journalKept, reportWritten);
  console::progress(status == kExitSuccess ? kCompleted : kCompletedWithErrors);
  return finish(status);
}

}  // namespace tavrel
