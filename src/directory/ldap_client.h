// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_LDAP_CLIENT_H_
#define TAVREL_DIRECTORY_LDAP_CLIENT_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/secret_text.h"
#include "common/text.h"

/// The platform's LDAP client, reduced to the operations the program relies on. The same
/// interface is implemented over OpenLDAP's libldap (ldap_client_posix.cc) and over the
/// Windows wldap32 (ldap_client_win32.cc); unit tests substitute a fake
/// (tests/support/fake_ldap.h). All three keep this contract, so a run reads the same on
/// every platform:
///
/// - Result codes are LDAP result codes as RFC 1823 and the Windows client number them,
///   client-side failures included (0x51 for a server that cannot be reached).
/// - Output vectors are cleared, then filled: after search() and getNextPage() they hold
///   exactly what that call brought, whatever they held before.
/// - A call that fails still hands over the entries that arrived with its final result (a
///   page cut short by a size limit, say), so a count of matched entries is the same
///   everywhere; a call that timed out or lost its connection brings none.
/// - A time-out of 0 or below means "none of our own": a search's time limit of 0 or below
///   sends no limit to the server, and a page wait of 0 or below waits as long as any other
///   operation (the operation bound of setTimeouts, 120 s by default).
/// - There is no global error state: every failure comes back with the call that failed.
/// - Signals are the process's business: a broken pipe must already be ignored (the program
///   does so at start-up), so that a server closing the connection while a request is
///   written gives an error result instead of ending the process.
namespace tavrel::ldap {

constexpr int kSuccess = 0x00;
constexpr int kNoSuchObject = 0x20;
constexpr int kServerDown = 0x51;
constexpr int kTimeout = 0x55;
constexpr int kConnectError = 0x5B;
constexpr int kFilterError = 0x57;
constexpr int kNoResultsReturned = 0x5E;

constexpr int kOptReferrals = 0x08;
constexpr int kOptProtocolVersion = 0x11;
constexpr int kAuthNegotiate = 0x486;

constexpr int kScopeBase = 0;
constexpr int kScopeOneLevel = 1;
constexpr int kScopeSubtree = 2;

constexpr std::string_view kTreeDeleteOid = "1.2.840.113556.1.4.805";

/// A request control; `value` holds its BER-encoded value, empty for a control without one.
struct Control {
  std::string oid;
  bool critical = false;
  std::string value;
};

struct Attribute {
  std::string name;  ///< as the server spelled it
  std::vector<std::string> values;
};

/// One search result entry; attributes in the order the client returns them.
struct Entry {
  std::string dn;
  std::vector<Attribute> attributes;
  /// For an entry that a reference led to: the URI of the server it was read at and the
  /// base DN the reference named. Both empty for an entry of the session's own server.
  std::string heldBy;
  std::string referredBase;
};

/// The entry's attribute of that name, whatever its letter case; null when it has none.
inline const Attribute* findAttribute(const Entry& entry, std::string_view name) {
  for (const Attribute& attribute : entry.attributes) {
    if (equalsIgnoringCase(attribute.name, name)) return &attribute;
  }
  return nullptr;
}

struct SortKey {
  std::string attribute;
  bool reverse = false;
};

struct PagedSearchRequest {
  std::string base;
  int scope = kScopeSubtree;
  std::string filter;
  std::vector<std::string> attributes;
  int timeLimitSeconds = 0;  ///< the server's limit per page; 0 or below: none
  std::optional<SortKey> sortKey;
  /// The entries may be written to: each must be known to come from the session's own
  /// server or carry `heldBy`. A client that cannot tell follows no references then.
  bool forWriting = false;
};

/// One unpaged search for named attributes with request controls, the read of an object or
/// of a small subtree that a guard needs before it lets a write leave.
struct SearchRequest {
  std::string base;
  int scope = kScopeBase;
  std::string filter = "(objectClass=*)";
  std::vector<std::string> attributes;  ///< empty: all user attributes
  std::vector<Control> serverControls;
};

/// The handle of a paged search; owned by the caller, used with the connection that made it.
class PagedSearch {
 public:
  virtual ~PagedSearch() = default;
};

/// What searchInitPage gives: the search, or none and the reason.
struct SearchInitResult {
  std::unique_ptr<PagedSearch> search;
  int error = 0;  ///< the platform's error number when `search` is null
};

/// Whom a bind with explicit credentials signs in as: the account name as the user typed it
/// (DOMAIN\name, name@REALM or name) and its password.
struct BindIdentity {
  std::string user;
  SecretText password;
};

/// One LDAP session (ldap_init's handle).
class Connection {
 public:
  virtual ~Connection() = default;

  /// ldap_set_option with an integer value (protocol version, referrals on/off).
  virtual int setOption(int option, int value) = 0;
  /// ldap_bind_s with no DN and no credentials: the logged-on user's own identity.
  virtual int bind(int method) = 0;
  /// The same negotiated bind, signed in as `identity` instead of the logged-on user.
  /// Windows hands the name and password to the bind; elsewhere Kerberos credentials for the
  /// name are obtained first, into a cache that only this process sees.
  virtual int bindAs(int method, const BindIdentity& identity) = 0;
  /// The library's or the server's own words about the last failed operation
  /// (LDAP_OPT_DIAGNOSTIC_MESSAGE: the server's diagnostic text, or the SASL/GSSAPI error
  /// of a bind that failed on the client); empty when there are none.
  virtual std::string diagnosticMessage() = 0;
  /// The URI of the server the session is connected to: where its writes go, for the undo
  /// journal's apply command. Empty where it is not known.
  virtual std::string serverUri() const { return {}; }
  /// ldap_unbind: closes the session; later calls fail.
  virtual void unbind() = 0;
  /// ldap_search_s returning all attributes of every entry; an empty base means none.
  /// `entries` is cleared, then receives the entries that arrived.
  virtual int search(std::string_view base, int scope, std::string_view filter,
                     std::vector<Entry>& entries) = 0;
  /// ldap_search_ext_s with the request's attributes and server controls, no size limit of
  /// our own; values are kept as the bytes that arrived (binary ones included). `entries` is
  /// cleared, then receives the entries that arrived; search references are not entries and
  /// are counted in `references`, so that a caller can tell a complete answer from one that
  /// points elsewhere.
  virtual int searchExt(const SearchRequest& request, std::vector<Entry>& entries,
                        int& references) = 0;
  /// ldap_search_init_page.
  virtual SearchInitResult searchInitPage(const PagedSearchRequest& request) = 0;
  /// ldap_get_next_page_s: kNoResultsReturned once the results are exhausted. `page` is
  /// cleared, then receives the page's entries (search references are not entries), also
  /// when the page fails. The page waits at most `timeoutSeconds`; 0 or below waits the
  /// operation bound.
  virtual int getNextPage(PagedSearch& search, int timeoutSeconds, int pageSize,
                          std::vector<Entry>& page) = 0;
  /// ldap_search_abandon_page.
  virtual int searchAbandonPage(PagedSearch& search) = 0;
  /// The paging cookie that came with the last page of `search`, so that a server which
  /// pages without moving on can be told from one that repeats its cookie while it does
  /// (a page from another server counts as another cookie); none where the client library
  /// does not show it.
  virtual std::optional<std::string> pageCookie(const PagedSearch& /*search*/) const {
    return std::nullopt;
  }
  // The writes wait for their answer at most the write time-out (setWriteTimeout) and then
  // give kTimeout: the write may still be applied. A write that cannot leave because the
  // session's connection is gone gives kConnectError without anything being sent; the
  // library never opens a new, unbound connection for it.

  /// ldap_modify_s with one LDAP_MOD_REPLACE of one attribute by one value.
  virtual int modifyReplace(std::string_view dn, std::string_view attribute,
                            std::string_view value) = 0;
  /// ldap_delete_ext_s with the given server controls.
  virtual int deleteExt(std::string_view dn, const std::vector<Control>& serverControls) = 0;
  /// ldap_rename_ext_s without controls.
  virtual int renameExt(std::string_view dn, std::string_view newRdn, std::string_view newParent,
                        bool deleteOldRdn) = 0;
};

/// What init gives: the session, or none and the reason.
struct InitResult {
  std::unique_ptr<Connection> connection;
  /// When `connection` is null: the platform's error number (GetLastError on Windows; the
  /// LDAP result code of the refusal with libldap, which says more than errno would).
  int error = 0;
};

/// ldap_init: a session for `host` (none: the library finds a server of the user's domain)
/// and `port`. An LDAP URI in the host text is passed on as it is.
InitResult init(const std::optional<std::string>& host, int port);

/// ldap_err2string: the client library's text for a result code.
std::string err2string(int code);

/// ldap_explode_dn with the attribute types kept; empty when the DN cannot be split.
std::vector<std::string> explodeDn(std::string_view dn);

/// Upper bounds, in seconds, for establishing a connection and for one synchronous operation
/// (a page of a paged search waits as long as its own time-out instead), so that a server
/// that stops answering cannot hold the run forever. Applies to sessions created afterwards.
void setTimeouts(int connectSeconds, int operationSeconds);

/// How long a write waits for its answer, in seconds (120 until set). Applies at once.
void setWriteTimeout(int seconds);

}  // namespace tavrel::ldap

#endif  // TAVREL_DIRECTORY_LDAP_CLIENT_H_
