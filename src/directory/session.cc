// SPDX-License-Identifier: Apache-2.0
#include "directory/session.h"

#include <cstdio>
#include <string>
#include <utility>

#include "common/console.h"
#include "common/text.h"
#include "directory/bind_advice.h"
#include "directory/connect_probe.h"
#include "directory/ldap_uri.h"

namespace tavrel {

namespace {

constexpr int kDefaultPort = 389;
constexpr char kErrorFormat[] = "%s: [%s] Error 0x%0x (%d) - %s\n";
constexpr char kLabelInit[] = "LDAP_INIT";
constexpr char kLabelVersion[] = "LDAP_OPTION (Version3): ";
constexpr char kLabelNoReferrals[] = "LDAP_OPTION (NoReferrals): ";
constexpr char kLabelBind[] = "LDAP_BIND";
constexpr char kDiagnosticLead[] = "ERROR: ";
constexpr char kBindAsLead[] = "Bind as ";

/// Where the session goes, as the messages name it.
struct Target {
  std::string displayName;
  int port = kDefaultPort;
  /// The server's name or address alone, for the messages that explain a failure; empty for
  /// a local socket.
  std::string hostName;
  bool tls = false;
};

// A URI names its server whole; splitting it at its first colon would leave "ldap". Its
// port, when it states one, is the number after the last colon of the authority.
Target parseUri(const std::string& uri) {
  Target target;
  target.displayName = uri;
  if (lowerCase(uri).starts_with("ldaps://")) target.port = 636;
  size_t start = uri.find("://") + 3;
  size_t end = uri.find('/', start);
  std::string authority = uri.substr(start, end == std::string::npos ? end : end - start);
  size_t colon = authority.rfind(':');
  if (colon != std::string::npos && authority.find(']', colon) == std::string::npos) {
    int port = readInt(authority.substr(colon + 1));
    if (port != 0) target.port = port;
    authority.resize(colon);
  }
  if (authority.size() >= 2 && authority.front() == '[' && authority.back() == ']') {
    authority = authority.substr(1, authority.size() - 2);
  }
  const std::string scheme = lowerCase(uri.substr(0, start));
  target.tls = scheme == "ldaps://";
  if (scheme != "ldapi://") target.hostName = authority;
  return target;
}

Target parseHost(const std::optional<std::string>& host) {
  if (host && ldap::isUri(*host)) return parseUri(*host);
  Target target;
  target.displayName = host.value_or("");
  size_t colon = target.displayName.find(':');
  if (colon != std::string::npos) {
    std::string portPiece = target.displayName.substr(colon + 1);
    target.displayName.resize(colon);
    // At most six characters are read; "dc1:" (no number) keeps the default port.
    int port = readInt(portPiece.substr(0, 6));
    if (port != 0) target.port = port;
  }
  if (!target.displayName.empty() && target.displayName[0] == '.') {
    target.displayName = "localhost";
  }
  target.hostName = target.displayName;
  return target;
}

// The code alone ("Local error") rarely says what to do; the server's or the Kerberos
// library's own words usually do (no ticket, clock skew, signing refused over TLS).
// A bind as a named account always says whom it tried, with the reason or the code's text.
void reportDiagnostic(std::string diagnostic, int code, const ldap::BindIdentity* identity) {
  for (char& c : diagnostic) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  size_t end = diagnostic.find_last_not_of(' ');
  diagnostic.resize(end == std::string::npos ? 0 : end + 1);
  if (identity != nullptr) {
    if (diagnostic.empty()) diagnostic = ldapErrorText(code);
    console::err(kDiagnosticLead + (kBindAsLead + identity->user) + ": " + diagnostic + "\n");
    return;
  }
  if (diagnostic.empty() || diagnostic == ldapErrorText(code)) return;
  console::err(kDiagnosticLead + diagnostic + "\n");
}

// What caused the failure and what to do next, on the lines after the error lines.
void reportBindAdvice(int code, const std::string& diagnostic, const Target& target) {
  const ldap::BindFailure failure{.code = code,
                                  .diagnostic = diagnostic,
                                  .hostName = target.hostName,
                                  .port = target.port,
                                  .tls = target.tls};
  ldap::ConnectFinding probe;
  if (ldap::wantsConnectProbe(failure)) probe = ldap::probeConnection(target.hostName, target.port);
  console::err(ldap::bindAdvice(failure, probe));
}

void echoParameters(const std::optional<std::string>& host, const Target& target,
                    bool chaseReferrals) {
  if (!console::debug()) return;
  std::string text = "DEBUG: In OpenLDAP... Params:\n";
  if (host) text += "DEBUG:    Server:    " + *host + "\n";
  text += formatText("DEBUG:    Port:        %d\n", target.port);
  text += formatText("DEBUG:    Ref:       %d\n", chaseReferrals ? 1 : 0);
  text +=
      "DEBUG:    V3:        1\n"
      "DEBUG:    Anonymous: 0\n"
      "DEBUG:    userdn: \n"
      "DEBUG:    password: \n"
      "DEBUG:    Simple: 0\n"
      "DEBUG:    LDAP_OPT_ENCRYPT: 0\n"
      "DEBUG:    Extended Error Info: 0\n";
  console::debugOut(text);
}

}  // namespace

std::optional<DirectorySession> OpenLDAP(const std::optional<std::string>& host,
                                         bool chaseReferrals, const ldap::BindIdentity* identity) {
  Target target = parseHost(host);
  echoParameters(host, target, chaseReferrals);

  ldap::InitResult opened = ldap::init(host, target.port);
  if (!opened.connection) {
    reportLdapError(kLabelInit, target.displayName, opened.error);
    return std::nullopt;
  }
  DirectorySession session;
  session.connection = std::move(opened.connection);

  console::debugErr("LDAP_OPTION: Version 3\n");
  if (int result = session.connection->setOption(ldap::kOptProtocolVersion, 3); result != 0) {
    reportLdapError(kLabelVersion, target.displayName, result);
  }
  if (!chaseReferrals) {
    console::debugErr("LDAP_OPTION: No referrals\n");
    if (int result = session.connection->setOption(ldap::kOptReferrals, 0); result != 0) {
      reportLdapError(kLabelNoReferrals, target.displayName, result);
    }
  }

  int result = identity != nullptr ? session.connection->bindAs(ldap::kAuthNegotiate, *identity)
                                   : session.connection->bind(ldap::kAuthNegotiate);
  if (result != ldap::kSuccess) {
    reportLdapError(kLabelBind, target.displayName, result);
    const std::string diagnostic = session.connection->diagnosticMessage();
    reportDiagnostic(diagnostic, result, identity);
    reportBindAdvice(result, diagnostic, target);
    return std::nullopt;
  }
  console::debugErr("LDAP_BIND: [" + host.value_or("") + "] Successful\n");
  return session;
}

void reportLdapError(std::string_view label, std::string_view subject, int code) {
  std::string labelText(label);
  std::string subjectText(subject);
  console::err(formatText(kErrorFormat, labelText.c_str(), subjectText.c_str(),
                          static_cast<unsigned>(code), code, ldapErrorText(code).c_str()));
}

std::string ldapErrorText(int code) {
  return ldap::err2string(code);
}

}  // namespace tavrel
