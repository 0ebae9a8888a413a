// SPDX-License-Identifier: Apache-2.0
// Connection set-up shared by every libldap connection of the POSIX adapter.

#include <arpa/inet.h>
#include <sasl/sasl.h>
#include <sys/time.h>

#include <cstring>
#include <string>
#include <vector>

#include "directory/bind_policy.h"
#include "directory/kerberos_login.h"
#include "directory/libldap_session.h"

namespace tavrel::ldap {

namespace {

// libldap's client-side codes run from -1 to -17 (LDAP_REFERRAL_LIMIT_EXCEEDED); beyond those
// the two numberings agree.
constexpr int kLowestLibraryCode = -17;

// A connect that takes longer than this is given up; the same bound applies to every
// synchronous operation except a page of the paged search, which waits as long as the run's
// own time-out says. Without them a server that accepts and then says nothing would hold the
// run forever.
int connectTimeout = 10;
int operationTimeout = 120;
// A write waits this long for its answer; the run sets it from -t.
int writeTimeout = 120;

// Every SASL prompt gets its default, or an empty answer: the bind uses the logged-on user's
// own identity and never asks anything.
int answerSaslPrompts(LDAP*, unsigned, void*, void* prompts) {
  for (auto* prompt = static_cast<sasl_interact_t*>(prompts); prompt->id != SASL_CB_LIST_END;
       ++prompt) {
    const char* answer = prompt->defresult ? prompt->defresult : "";
    prompt->result = answer;
    prompt->len = static_cast<unsigned>(std::strlen(answer));
  }
  return LDAP_SUCCESS;
}

// libldap calls this on each connection it opens to chase a referral by itself (the session's
// single operations; a paged search follows its references itself), with that connection
// standing in as the session's default while it runs. Left to itself the library would bind
// anonymously there, which a domain controller refuses to serve; the referred server must
// see the same user as the first one, as the Windows client arranges.
int rebindAsUser(LDAP* ld, const char* /*url*/, ber_tag_t /*request*/, ber_int_t /*msgid*/,
                 void* /*params*/) {
  int version = LDAP_VERSION3;
  ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_set_option(ld, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
  return bindAsUser(ld);
}

bool isAddressLiteral(const char* host) {
  if (host == nullptr) return false;
  in6_addr address;
  return inet_pton(AF_INET, host, &address) == 1 || inet_pton(AF_INET6, host, &address) == 1;
}

// Settings that follow from the server the connection goes to (the first of its URIs).
// The Kerberos service name is built from the host name as given, as the Windows client
// does, rather than from a reverse lookup of the address; but an address gives no name at
// all, so for an address the library looks the name up. Over ldaps:// TLS already protects
// the connection, and Active Directory and Samba refuse SASL signing or sealing inside it,
// so no SASL security layer is asked for there.
void applyServerOptions(LDAP* ld) {
  bool canonicalise = false;
  bool overTls = false;
  char* uris = nullptr;
  if (ldap_get_option(ld, LDAP_OPT_URI, &uris) == LDAP_OPT_SUCCESS && uris != nullptr) {
    std::string first(uris, std::strcspn(uris, " ,"));
    LDAPURLDesc* url = nullptr;
    if (ldap_url_parse(first.c_str(), &url) == LDAP_URL_SUCCESS && url != nullptr) {
      canonicalise = isAddressLiteral(url->lud_host);
      overTls = url->lud_scheme != nullptr && std::strcmp(url->lud_scheme, "ldaps") == 0;
      ldap_free_urldesc(url);
    }
    ldap_memfree(uris);
  }
  ldap_set_option(ld, LDAP_OPT_X_SASL_NOCANON, canonicalise ? LDAP_OPT_OFF : LDAP_OPT_ON);
  if (overTls) ldap_set_option(ld, LDAP_OPT_X_SASL_SECPROPS, "maxssf=0");
}

/// The scheme of the connection's (first) URI, lower-cased; "ldap" when it names none.
std::string schemeOf(LDAP* ld) {
  std::string scheme = "ldap";
  char* uris = nullptr;
  if (ldap_get_option(ld, LDAP_OPT_URI, &uris) == LDAP_OPT_SUCCESS && uris != nullptr) {
    std::string first(uris, std::strcspn(uris, " ,"));
    size_t end = first.find("://");
    if (end != std::string::npos) {
      scheme = first.substr(0, end);
      for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    ldap_memfree(uris);
  }
  return scheme;
}

/// The mechanisms the server's root entry lists, read anonymously as the library itself
/// would; the library's code of the read.
int offeredMechanisms(LDAP* ld, std::vector<std::string>& offered) {
  char name[] = "supportedSASLMechanisms";
  char* attributes[] = {name, nullptr};
  LDAPMessage* result = nullptr;
  int code = ldap_search_ext_s(ld, "", LDAP_SCOPE_BASE, "(objectClass=*)", attributes, 0, nullptr,
                               nullptr, nullptr, LDAP_NO_LIMIT, &result);
  if (result != nullptr) {
    if (LDAPMessage* entry = ldap_first_entry(ld, result)) {
      if (berval** values = ldap_get_values_len(ld, entry, name)) {
        for (berval** value = values; *value != nullptr; ++value) {
          offered.emplace_back((*value)->bv_val, (*value)->bv_len);
        }
        ldap_value_free_len(values);
      }
    }
    ldap_msgfree(result);
  }
  return code;
}

void setDiagnostic(LDAP* ld, const std::string& text) {
  ldap_set_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, text.c_str());
}

}  // namespace

int fromLibrary(int code) {
  return code < 0 && code >= kLowestLibraryCode ? 80 - code : code;
}

int toLibrary(int code) {
  return code > 80 && code <= 80 - kLowestLibraryCode ? 80 - code : code;
}

void setTimeouts(int connectSeconds, int operationSeconds) {
  connectTimeout = connectSeconds;
  operationTimeout = operationSeconds;
}

int operationTimeoutSeconds() {
  return operationTimeout;
}

void setWriteTimeout(int seconds) {
  if (seconds > 0) writeTimeout = seconds;
}

int writeTimeoutSeconds() {
  return writeTimeout;
}

void applySessionOptions(LDAP* ld) {
  timeval connect{connectTimeout, 0};
  timeval operation{operationTimeout, 0};
  ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &connect);
  ldap_set_option(ld, LDAP_OPT_TIMEOUT, &operation);
  // A signal that asks the run to stop must not cut the wait for an answer short: the
  // library would take it for a lost server, and the write in flight would go unanswered.
  ldap_set_option(ld, LDAP_OPT_RESTART, LDAP_OPT_ON);
  applyServerOptions(ld);
  ldap_set_rebind_proc(ld, rebindAsUser, nullptr);
}

BindFloor bindFloorOf(LDAP* ld) {
  BindFloor floor;
  char* mechanism = nullptr;
  if (ldap_get_option(ld, LDAP_OPT_X_SASL_MECH, &mechanism) == LDAP_OPT_SUCCESS &&
      mechanism != nullptr) {
    floor.kerberosOnly = isKerberosMechanism(mechanism);
    ldap_memfree(mechanism);
  }
  // Only a layer over plain ldap:// is one the referred connection can be held to; over a
  // local socket or TLS the session's strength is not a SASL layer's.
  ber_len_t ssf = 0;
  if (schemeOf(ld) == "ldap" &&
      ldap_get_option(ld, LDAP_OPT_X_SASL_SSF, &ssf) == LDAP_OPT_SUCCESS) {
    floor.minSsf = static_cast<int>(ssf);
  }
  return floor;
}

int bindAsUser(LDAP* ld, const BindFloor& floor) {
  std::vector<std::string> offered;
  int code = offeredMechanisms(ld, offered);
  if (code != LDAP_SUCCESS) return code;
  // After a sign-in with a name and password only the Kerberos mechanisms may serve: EXTERNAL
  // over ldapi would bind as the local user instead of the one asked for.
  BindPlan plan =
      planBind(schemeOf(ld), offered, floor.kerberosOnly || explicitLoginActive(), floor.minSsf);
  if (plan.mechanisms.empty()) {
    setDiagnostic(ld, plan.refusal);
    return LDAP_AUTH_METHOD_NOT_SUPPORTED;
  }
  if (plan.minSsf > 0) {
    std::string secprops = "minssf=" + std::to_string(plan.minSsf);
    ldap_set_option(ld, LDAP_OPT_X_SASL_SECPROPS, secprops.c_str());
  }
  int result = ldap_sasl_interactive_bind_s(ld, nullptr, plan.mechanisms.c_str(), nullptr, nullptr,
                                            LDAP_SASL_QUIET, answerSaslPrompts, nullptr);
  if (result != LDAP_SUCCESS || plan.minSsf == 0) return result;
  // The library was told the least layer; the layer in place is checked all the same, as
  // nothing but the bind stands between the run's writes and anyone on the wire.
  ber_len_t ssf = 0;
  ldap_get_option(ld, LDAP_OPT_X_SASL_SSF, &ssf);
  if (static_cast<int>(ssf) < plan.minSsf) {
    setDiagnostic(ld, thinLayerText(static_cast<int>(ssf), plan.minSsf));
    return LDAP_STRONG_AUTH_REQUIRED;
  }
  return result;
}

// One pass over the entry's encoding: looking each attribute up by name again
// (ldap_get_values_len) rescans the entry from its start for every attribute.
void readEntry(LDAP* ld, LDAPMessage* message, Entry& entry) {
  std::size_t attributeCount = 0;
  BerElement* ber = nullptr;
  berval dn{0, nullptr};
  if (ldap_get_dn_ber(ld, message, &ber, &dn) != LDAP_SUCCESS) {
    if (ber != nullptr) ber_free(ber, 0);
    entry.dn.clear();
    entry.attributes.clear();
    return;
  }
  entry.dn.assign(dn.bv_val, dn.bv_len);
  berval name{0, nullptr};
  berval* values = nullptr;
  while (ldap_get_attribute_ber(ld, message, ber, &name, &values) == LDAP_SUCCESS &&
         name.bv_val != nullptr) {
    if (attributeCount == entry.attributes.size()) entry.attributes.emplace_back();
    Attribute& attribute = entry.attributes[attributeCount++];
    attribute.name.assign(name.bv_val, name.bv_len);
    std::size_t count = 0;
    if (values != nullptr) {
      while (values[count].bv_val != nullptr) ++count;
    }
    attribute.values.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      attribute.values[i].assign(values[i].bv_val, values[i].bv_len);
    }
    if (values != nullptr) ber_memfree(values);
    values = nullptr;
  }
  entry.attributes.resize(attributeCount);
  ber_free(ber, 0);
}

}  // namespace tavrel::ldap
