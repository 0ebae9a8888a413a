#ifndef TAVREL_COMMON_EXIT_STATUS_H_
#define TAVREL_COMMON_EXIT_STATUS_H_

namespace tavrel {

/// The process exit codes. Scripts that wrap the tool depend on these values.
enum ExitStatus : int {
  kExitSuccess = 0,  ///< the run reached its end, whatever happened to single objects
  kExitUsage = 1,    ///< usage shown, a refused switch, or the report file cannot be created
  kExitFatal = -1,   ///< refused scope/age value, no session, no root entry (255 on POSIX)
};

/// Returned by the phases that may end the run: either go on, or stop with an exit code.
struct PhaseResult {
  bool stop = false;
  int exitCode = kExitSuccess;

  static PhaseResult proceed() { return {}; }
  static PhaseResult exit(int code) { return {true, code}; }
};

}  // namespace tavrel

#endif  // TAVREL_COMMON_EXIT_STATUS_H_
