// SPDX-License-Identifier: Apache-2.0
#include "common/console.h"

#include <cstdio>

#include "common/terminal.h"

namespace tavrel::console {

namespace {
bool gQuiet = false;
bool gDebug = false;
bool gOutToErr = false;
Capture* gCapture = nullptr;

void write(std::FILE* stream, std::string_view text) {
  if (text.empty()) return;
  std::fwrite(text.data(), 1, text.size(), stream);
}
}  // namespace

void setFlags(bool quiet, bool debug) {
  gQuiet = quiet;
  gDebug = debug;
}
bool quiet() {
  return gQuiet;
}
bool debug() {
  return gDebug;
}

void setOutputToErr(bool toErr) {
  gOutToErr = toErr;
}

void out(std::string_view text) {
  if (gOutToErr) {
    err(text);
    return;
  }
  if (gCapture) {
    gCapture->append(false, text);
    return;
  }
  write(stdout, text);
}

void err(std::string_view text) {
  if (gCapture) {
    gCapture->append(true, text);
    return;
  }
  // Standard output is flushed first so that a terminal shows both streams in program order.
  std::fflush(stdout);
  write(stderr, text);
  std::fflush(stderr);
}

void progress(std::string_view text) {
  if (!gQuiet) out(text);
}

bool outIsTerminal() {
  // The spinner would land in the report.
  if (gOutToErr) return false;
  if (gCapture) return gCapture->terminal();
  return stdoutIsTerminal();
}

void debugOut(std::string_view text) {
  if (gDebug) out(text);
}

void debugErr(std::string_view text) {
  if (gDebug) err(text);
}

Capture::Capture() : previous_(gCapture), savedQuiet_(gQuiet), savedDebug_(gDebug) {
  gCapture = this;
}

Capture::~Capture() {
  gCapture = previous_;
  gQuiet = savedQuiet_;
  gDebug = savedDebug_;
}

void Capture::clear() {
  out_.clear();
  err_.clear();
  interleaved_.clear();
  lastStream_ = -1;
}

void Capture::append(bool toErr, std::string_view text) {
  (toErr ? err_ : out_).append(text);
  int stream = toErr ? 1 : 0;
  if (stream != lastStream_) interleaved_.append(toErr ? "[err]" : "[out]");
  lastStream_ = stream;
  interleaved_.append(text);
}

}  // namespace tavrel::console
