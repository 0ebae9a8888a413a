// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_COMMON_CONSOLE_H_
#define TAVREL_COMMON_CONSOLE_H_

#include <string>
#include <string_view>

namespace tavrel::console {

/// The two process-wide flags of the run: -q silences the banner and progress lines (never an
/// error), -d switches on every "DEBUG: " line. Set once, before anything is printed.
void setFlags(bool quiet, bool debug);
bool quiet();
bool debug();

/// The only writers to the console. Everything the program shows goes through these, so
/// tests can capture it and the two streams keep their order.
void out(std::string_view text);
void err(std::string_view text);

/// Sends what would go to standard output to standard error instead, for a run whose report
/// is written to standard output.
void setOutputToErr(bool toErr);

/// Progress text: written to standard output unless quiet.
void progress(std::string_view text);

/// Whether standard output is a terminal. Output meant for a person watching (the search
/// spinner) is written only then, never into a log file or a pipe.
bool outIsTerminal();

/// Diagnostic text: written only when debugging, to the stream the message belongs to.
void debugOut(std::string_view text);
void debugErr(std::string_view text);

/// Redirects both streams into memory for the lifetime of the object (tests only). The flags
/// are saved and restored too, so a test can set them freely.
class Capture {
 public:
  Capture();
  ~Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }
  /// Both streams in the order they were written, each piece tagged "[out]" or "[err]"
  /// when the stream changes; for tests that care about interleaving.
  const std::string& interleaved() const { return interleaved_; }
  void clear();
  /// The capture stands in for a terminal unless a test says otherwise.
  void setTerminal(bool terminal) { terminal_ = terminal; }
  bool terminal() const { return terminal_; }
  /// Called by the writers while the capture is active.
  void append(bool toErr, std::string_view text);

 private:
  std::string out_;
  std::string err_;
  std::string interleaved_;
  int lastStream_ = -1;
  bool terminal_ = true;
  Capture* previous_;
  bool savedQuiet_;
  bool savedDebug_;
};

}  // namespace tavrel::console

#endif  // TAVREL_COMMON_CONSOLE_H_
