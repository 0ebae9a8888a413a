// Connection set-up shared by every libldap connection of the POSIX adapter.

#include <arpa/inet.h>
#include <sasl/sasl.h>
#include <sys/time.h>

#include <cstring>
#include <string>

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

constexpr char kKerberosMechanisms[] = "GSS-SPNEGO GSSAPI";

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
  applyServerOptions(ld);
  ldap_set_rebind_proc(ld, rebindAsUser, nullptr);
}

int bindAsUser(LDAP* ld) {
  // After a sign-in with a name and password only the Kerberos mechanisms may serve: EXTERNAL
  // over ldapi would bind as the local user instead of the one asked for.
  const char* mechanisms = explicitLoginActive() ? kKerberosMechanisms : nullptr;
  int result = ldap_sasl_interactive_bind_s(ld, nullptr, mechanisms, nullptr, nullptr,
                                            LDAP_SASL_QUIET, answerSaslPrompts, nullptr);
  // The library says "no such attribute" when the server's root entry lists no SASL
  // mechanism at all; no bind answer from a server carries that code. For the user it means
  // the server does not support this way of signing in.
  if (result == LDAP_NO_SUCH_ATTRIBUTE) result = LDAP_AUTH_METHOD_NOT_SUPPORTED;
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
