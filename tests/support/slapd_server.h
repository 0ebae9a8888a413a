// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_TESTS_SUPPORT_SLAPD_SERVER_H_
#define TAVREL_TESTS_SUPPORT_SLAPD_SERVER_H_

#include <string>

namespace tavrel::testing {

/// A real slapd for integration tests (a test process using it ignores SIGPIPE, as the
/// program does at start-up), started through the fixture's command line
/// (tests/fixtures/slapd/slapd_fixture.py) in a temporary folder of its own and stopped, with
/// the folder removed, when the object goes. The local user binds over `ldapiUri` with SASL
/// EXTERNAL as the tester account, which may write everywhere except below `kReadOnlyDn`.
class SlapdServer {
 public:
  static constexpr const char* kSuffix = "dc=tavrel,dc=test";
  static constexpr const char* kComputers = "cn=Computers,dc=tavrel,dc=test";
  static constexpr const char* kReadOnlyDn = "ou=ReadOnly,dc=tavrel,dc=test";
  static constexpr const char* kDnsHostName = "dc1.tavrel.test";

  /// Starts slapd with the root entry `variant` (see the fixture's VARIANTS) and the entries
  /// of `ldif` loaded before start. Failures end the test with a fatal assertion; check
  /// `started()` afterwards.
  explicit SlapdServer(const std::string& variant = "w2003-l2", const std::string& ldif = "",
                       int computers = 0);
  ~SlapdServer();
  SlapdServer(const SlapdServer&) = delete;
  SlapdServer& operator=(const SlapdServer&) = delete;

  bool started() const { return started_; }
  int port() const { return port_; }
  /// "127.0.0.1:PORT", the text a user gives with -h.
  std::string hostPort() const;
  /// "ldap://127.0.0.1:PORT/".
  const std::string& ldapUri() const { return ldapUri_; }
  /// "ldapi://<encoded socket path>/".
  const std::string& ldapiUri() const { return ldapiUri_; }
  const std::string& directory() const { return directory_; }

  /// Adds LDIF entries as the tester (`admin` true: as the directory manager, past the
  /// access rules). Returns the tool's exit code.
  int add(const std::string& ldif, bool admin = false);
  /// Every entry below the suffix as canonical text, for before/after comparisons.
  std::string dump();
  /// The attribute values of one entry as "name: value" lines, empty when it is missing.
  std::string entry(const std::string& dn);
  /// Stops slapd (the folder stays until destruction), e.g. to make it unreachable.
  void stop();

  /// Runs a shell command, returning its standard output; `status` gets the exit status.
  static std::string run(const std::string& command, int* status = nullptr);

 private:
  std::string cli(const std::string& arguments, int* status = nullptr) const;

  bool started_ = false;
  bool running_ = false;
  int port_ = 0;
  std::string directory_;
  std::string ldapUri_;
  std::string ldapiUri_;
};

}  // namespace tavrel::testing

#endif  // TAVREL_TESTS_SUPPORT_SLAPD_SERVER_H_
