#include "app/run.h"

#include <cstdio>

#include "actions/account_guards.h"
#include "actions/action_engine.h"
#include "actions/undo_journal.h"
#include "cli/command_line.h"
#include "cli/gnu_switches.h"
#include "cli/options.h"
#include "common/console.h"
#include "common/exit_status.h"
#include "common/run_settings.h"
#include "common/version.h"
#include "directory/ldap_client.h"
#include "directory/modify.h"
#include "directory/root_dse.h"
#include "directory/session.h"
#include "query/attribute_list.h"
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
constexpr char kWriteFailed[] = "Error: Couldn't write ";

/// Opens and binds the session and reads the root entry. Either failure ends the run.
PhaseResult connectDirectory(const RunSettings& settings, std::optional<DirectorySession>& session,
                             RootDseInfo& rootDse) {
  console::debugErr("DEBUG: OpenLDAP - [" + settings.host + "]\n");
  std::optional<std::string> host;
  if (!settings.host.empty()) host = settings.host;
  session = OpenLDAP(host, settings.chaseReferrals);
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

int finish(int exitCode) {
  std::fflush(stdout);
  return exitCode;
}

}  // namespace

int runTavrel(const std::vector<std::string>& arguments) {
  if (std::optional<int> code = answerGnuSwitches(arguments)) return finish(*code);
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

  // Connected: the session and the root entry live until the process ends.
  std::optional<DirectorySession> session;
  RootDseInfo rootDse;
  if (PhaseResult r = connectDirectory(settings, session, rootDse); r.stop) {
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
  // A run that changes nothing renders each account's row while the next pages are still on
  // their way, and keeps only the row; a modifying run keeps every account, for the actions.
  PreparedRows preparedRows(report);
  RecordSink prepareRow;
  if (onlyReports(settings.action)) {
    prepareRow = [&](ObjectRecord& record) {
      if (settings.format == ReportFormat::kNone) return;
      RowMarks marks;
      applyAction(*session, settings, ageLimits.startText, record, marks, actions);
      preparedRows.add(record, marks);
    };
  }
  SearchOutcome search =
      runPagedSearch(*session, settings, rootDse, searchBase, filter, attributes, sort, prepareRow);

  // The undo journal exists before the first write, or nothing is written at all.
  UndoJournal journal;
  if (!settings.undoFile.empty()) {
    JournalRun run{.startDate = ageLimits.startDate,
                   .server = settings.host.empty() ? rootDse.dnsHostName : settings.host,
                   .searchBase = searchBase,
                   .arguments = arguments,
                   .newParent = settings.newParent,
                   .columns = attributes.names};
    if (!openUndoJournal(journal, settings.undoFile, settings.appendToFile, run)) {
      console::err(std::string(kCreateFailed) + settings.undoFile + "\n");
      return finish(kExitUsage);
    }
  }

  // Reporting: the file is created only now, so a run that stopped earlier leaves none.
  if (settings.format != ReportFormat::kNone) {
    if (PhaseResult r = report.open(settings); r.stop) return finish(r.exitCode);
    ReportHeader header{.limits = ageLimits,
                        .finishDate = search.finishDate,
                        .rootDse = rootDse,
                        .searchBase = searchBase,
                        .filter = filter,
                        .sortAttribute = sort.sortAttribute,
                        .searchComplete = search.complete,
                        .incompleteReason = search.incompleteReason};
    header.protectedAccounts = anyProtectedAccount(settings, ageLimits.startText, search.objects);
    header.heldBackByList = search.heldBackByList;
    report.beginReport(settings, header, attributes.names);
  }
  setWriteTimeout(settings.writeTimeoutSeconds);
  if (journal.file) actions.journal = &journal;
  if (settings.format != ReportFormat::kNone && !preparedRows.writeTo(report, search.finishTime)) {
    report.noteRowsLost();
  }
  for (ObjectRecord& record : search.objects) {
    ObjectAges ages = objectAges(record, search.finishTime);
    RowTexts rowTexts = beginRowTexts(record, ages.pwage, ages.lltsAge);
    RowMarks marks;
    applyAction(*session, settings, ageLimits.startText, record, marks, actions);
    if (settings.format != ReportFormat::kNone) report.writeRow(record, marks, rowTexts);
  }
  if (journal.file && !closeUndoJournal(journal)) {
    console::err(std::string(kWriteFailed) + settings.undoFile + "\n");
  }
  if (PhaseResult r = report.finish(actions.counters, settings); r.stop) {
    return finish(r.exitCode);
  }
  displayReport(settings, arguments);

  // Scripts read the exit code, people the last line: both say whether everything was done.
  int status = finishedRunStatus(search.complete, actions.counters);
  console::progress(status == kExitSuccess ? kCompleted : kCompletedWithErrors);
  return finish(status);
}

}  // namespace tavrel
