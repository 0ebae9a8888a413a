// SPDX-License-Identifier: Apache-2.0
#include "support/slapd_server.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace tavrel::testing {

namespace {

// The program ignores broken pipes from start-up on (app/startup_posix.cc), so that a server
// closing the connection mid-request gives the adapter an error result; test processes that
// talk to servers need the same.
[[maybe_unused]] const bool kBrokenPipesIgnored = [] {
  std::signal(SIGPIPE, SIG_IGN);
  return true;
}();

constexpr const char* kScript = TAVREL_SOURCE_DIR "/tests/fixtures/slapd/slapd_fixture.py";

// Single quotes for the shell; the texts passed here are paths and LDIF file names.
std::string shellQuoted(const std::string& text) {
  std::string result = "'";
  for (char c : text) {
    if (c == '\'') {
      result += "'\\''";
    } else {
      result += c;
    }
  }
  return result + "'";
}

std::string valueOf(const std::string& lines, const std::string& name) {
  std::istringstream stream(lines);
  std::string line;
  while (std::getline(stream, line)) {
    if (line.rfind(name + "=", 0) == 0) return line.substr(name.size() + 1);
  }
  return {};
}

}  // namespace

std::string SlapdServer::run(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    if (status) *status = -1;
    return output;
  }
  char buffer[4096];
  size_t count;
  while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, count);
  int result = pclose(pipe);
  if (status) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  return output;
}

std::string SlapdServer::cli(const std::string& arguments, int* status) const {
  return run("LDAPNOINIT=1 python3 " + shellQuoted(kScript) + " " + arguments + " --dir " +
                 shellQuoted(directory_),
             status);
}

SlapdServer::SlapdServer(const std::string& variant, const std::string& ldif, int computers) {
  char folder[] = "/tmp/tsv-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    ADD_FAILURE() << "cannot create a folder for slapd";
    return;
  }
  directory_ = folder;
  std::string arguments = "start --variant " + shellQuoted(variant);
  if (!ldif.empty()) {
    std::string path = directory_ + "/extra.ldif";
    std::ofstream(path) << ldif;
    arguments += " --ldif " + shellQuoted(path);
  }
  if (computers > 0) arguments += " --computers " + std::to_string(computers);
  int status = 0;
  std::string output = cli(arguments + " 2>&1", &status);
  if (status != 0) {
    ADD_FAILURE() << "slapd fixture did not start: " << output;
    return;
  }
  port_ = std::atoi(valueOf(output, "port").c_str());
  ldapUri_ = valueOf(output, "ldap_uri");
  ldapiUri_ = valueOf(output, "ldapi_uri");
  started_ = running_ = port_ != 0 && !ldapiUri_.empty();
  if (!started_) ADD_FAILURE() << "unexpected fixture output: " << output;
}

SlapdServer::~SlapdServer() {
  if (directory_.empty()) return;
  if (running_) cli("stop --clean >/dev/null 2>&1");
  run("rm -rf " + shellQuoted(directory_));
}

std::string SlapdServer::hostPort() const {
  return "127.0.0.1:" + std::to_string(port_);
}

int SlapdServer::add(const std::string& ldif, bool admin) {
  std::string path = directory_ + "/add.ldif";
  std::ofstream(path) << ldif;
  int status = 0;
  std::string output =
      cli("add --ldif " + shellQuoted(path) + (admin ? " --bind admin" : "") + " 2>&1", &status);
  if (status != 0) ADD_FAILURE() << "ldapadd failed: " << output;
  return status;
}

std::string SlapdServer::dump() {
  return cli("dump");
}

std::string SlapdServer::entry(const std::string& dn) {
  return cli("search --scope base --base " + shellQuoted(dn));
}

void SlapdServer::stop() {
  if (!running_) return;
  cli("stop >/dev/null 2>&1");
  running_ = false;
}

}  // namespace tavrel::testing
