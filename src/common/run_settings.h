// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_COMMON_RUN_SETTINGS_H_
#define TAVREL_COMMON_RUN_SETTINGS_H_

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace tavrel {

/// Report formats; the numbers appear in the -d echo.
enum class ReportFormat : int { kNone = 0, kCsv = 3, kHtml = 4, kDhtml = 5, kJson = 6, kJsonl = 7 };

/// The run's single action; the numbers appear in the -d echo.
enum class ActionKind : int { kNone = 0, kReport = 1, kDisable = 3, kDelete = 4, kMove = 16 };

/// The action writes to the directory (disable, delete, move): objects are counted and get
/// ACTION and RESULT. A report, and settings whose action was never chosen, only report.
inline bool isModifying(ActionKind action) {
  return action == ActionKind::kDisable || action == ActionKind::kDelete ||
         action == ActionKind::kMove;
}

/// Server-side sort choice; the numbers appear in the -d echo.
enum class SortField : int { kNone = 0, kCn = 2, kAge = 4, kPwage = 5, kOs = 6, kLlts = 7 };

/// Accounts named in a list: DNs by the key under which the directory compares them, account
/// names lower-cased and without a trailing "$".
struct AccountList {
  std::unordered_set<std::string> dnKeys;
  std::unordered_set<std::string> names;
};

/// Every validated option of one run. Filled once by option processing before the directory
/// is contacted, read-only afterwards. (`quiet` and `debug` live in common/console.h.)
struct RunSettings {
  std::string host;
  std::string scope = "subtree";
  std::string baseDn;
  bool chaseReferrals = true;
  std::optional<std::string> filterText;
  std::optional<std::string> addOnFilterText;
  bool usersMode = false;
  bool onlyDisabled = false;
  bool excludeDcs = false;
  bool realAge = false;
  bool useLastLogonTimestamp = false;
  bool bitwiseTransform = false;
  int pageSize = 100;
  int timeoutSeconds = 300;
  /// How long a write waits for its answer: -t when given with a positive value.
  int writeTimeoutSeconds = 120;
  int ageDays = 90;
  int maxAgeDays = 0;
  SortField sortField = SortField::kNone;
  bool reverseSort = false;
  ReportFormat format = ReportFormat::kHtml;
  std::string fileExtension = "htm";
  std::string csvDelimiter = ";";
  bool writeHeader = true;
  bool writeHtmlHeader = true;
  bool writeStats = true;
  bool appendToFile = false;
  bool showReport = false;
  bool lowerCaseNames = true;
  std::string reportFile;
  ActionKind action = ActionKind::kNone;
  bool stamp = false;
  std::string newParent;
  std::string renameMask = "$OLD$-*";
  int safetyLimit = 10;
  bool forReal = false;
  std::string exclusionDelimiter = ";";
  std::vector<std::string> dnExclusions;
  /// -addattrib as given, even when given without a value.
  std::optional<std::string> addAttributes;
  /// The raw command line, for the arguments handed on to the report viewer.
  std::vector<std::string> arguments;
  /// -disabledfor: only accounts disabled and stamped at least this many days before the
  /// run's start.
  std::optional<long long> disabledForDays;
  /// The undo journal of a -forreal run that can write; empty when there is none (report
  /// runs, test runs, -noundo).
  std::string undoFile;
  /// The journal's name was made by the run, not given with -undo: when it is taken, the run
  /// numbers it rather than refuse.
  bool undoFileDefault = false;
  /// -user: the account the bind signs in as, as typed; empty: the logged-on user.
  std::string bindUser;
  /// -pwfile: the file whose first line is the password ("-": standard input); empty: the
  /// password is asked for at the terminal.
  std::string passwordFile;
  /// -exclfile: the file as named, and the accounts it lists, which are never selected.
  std::string exclusionFile;
  AccountList listedAccounts;
  /// -bothages: old by pwdLastSet and by lastLogonTimestamp (or none) alike.
  bool bothAges = false;
  /// -destroykeys: an account is deleted even when recovery passwords below it could not be
  /// read, so the journal cannot keep them.
  bool destroyKeys = false;
  /// -exclgroup: groups whose members, nested ones included, are never selected.
  std::vector<std::string> excludedGroups;
  /// -lastlogon: every domain controller is asked for the accounts that logged on there since
  /// the age threshold; -dcs names them instead of the directory's list.
  bool lastLogon = false;
  std::vector<std::string> logonServers;
};

}  // namespace tavrel

#endif  // TAVREL_COMMON_RUN_SETTINGS_H_
