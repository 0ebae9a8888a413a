// SPDX-License-Identifier: Apache-2.0
#include <gssapi/gssapi_krb5.h>
#include <krb5.h>

#include <string>

#include "directory/account_name.h"
#include "directory/kerberos_login.h"

namespace tavrel::ldap {

namespace {

// libldap's codes as the program numbers them (see fromLibrary).
constexpr int kInvalidCredentials = 0x31;
constexpr int kLocalError = 0x52;

// The process's one login: the context and the cache stay open until the process ends, so
// that binds made later (references chased on other servers) find the same credentials.
struct LoginState {
  krb5_context context = nullptr;
  krb5_ccache cache = nullptr;
  std::string cacheName;
};

LoginState& state() {
  static LoginState login;
  return login;
}

std::string libraryText(krb5_context context, krb5_error_code code) {
  const char* text = krb5_get_error_message(context, code);
  std::string copy = text != nullptr ? text : "";
  krb5_free_error_message(context, text);
  return copy;
}

KerberosLogin failure(krb5_context context, krb5_error_code code, const std::string& principal) {
  KerberosLogin login;
  login.code = kLocalError;
  std::string words;
  switch (code) {
    case KRB5KDC_ERR_C_PRINCIPAL_UNKNOWN:
      login.code = kInvalidCredentials;
      words = "Kerberos does not know the account " + principal;
      break;
    case KRB5KDC_ERR_PREAUTH_FAILED:
    case KRB5KRB_AP_ERR_BAD_INTEGRITY:
      login.code = kInvalidCredentials;
      words = "wrong password for " + principal;
      break;
    case KRB5KDC_ERR_KEY_EXP:
      login.code = kInvalidCredentials;
      words = "the password of " + principal + " has expired";
      break;
    case KRB5KDC_ERR_CLIENT_REVOKED:
      login.code = kInvalidCredentials;
      words = "the account " + principal + " is disabled or locked out";
      break;
    case KRB5_REALM_UNKNOWN:
    case KRB5_KDC_UNREACH:
    case KRB5_REALM_CANT_RESOLVE:
      words = "no Kerberos server (KDC) found for the realm of " + principal;
      break;
    case KRB5KRB_AP_ERR_SKEW:
      words = "the clocks of this machine and of the Kerberos server differ too much";
      break;
    case KRB5_CONFIG_NODEFREALM:
      words = "no default Kerberos realm is set up here: give the name as name@REALM";
      break;
    default:
      words = "Kerberos sign-in as " + principal + " failed";
      break;
  }
  login.reason = words + " (" + libraryText(context, code) + ")";
  return login;
}

std::string defaultRealm(krb5_context context) {
  char* realm = nullptr;
  if (krb5_get_default_realm(context, &realm) != 0 || realm == nullptr) return {};
  std::string copy = realm;
  krb5_free_default_realm(context, realm);
  return copy;
}

}  // namespace

KerberosLogin loginWithPassword(const std::string& user, const SecretText& password) {
  LoginState& login = state();
  if (login.context == nullptr) {
    if (krb5_error_code code = krb5_init_context(&login.context); code != 0) {
      login.context = nullptr;
      return {kLocalError, "Kerberos cannot start (error " + std::to_string(code) + ")"};
    }
  }
  krb5_context context = login.context;
  const std::string principalText =
      kerberosPrincipal(splitAccountName(user), defaultRealm(context));
  if (principalText.find('@') == std::string::npos) {
    return failure(context, KRB5_CONFIG_NODEFREALM, principalText);
  }

  krb5_principal principal = nullptr;
  if (krb5_error_code code = krb5_parse_name(context, principalText.c_str(), &principal)) {
    return failure(context, code, principalText);
  }
  krb5_ccache cache = nullptr;
  krb5_error_code code = krb5_cc_new_unique(context, "MEMORY", nullptr, &cache);
  krb5_get_init_creds_opt* options = nullptr;
  if (code == 0) code = krb5_get_init_creds_opt_alloc(context, &options);
  if (code == 0) code = krb5_get_init_creds_opt_set_out_ccache(context, options, cache);
  krb5_creds credentials{};
  bool obtained = false;
  if (code == 0) {
    // No prompter: a password that must be changed first is refused, not asked for.
    code = krb5_get_init_creds_password(context, &credentials, principal, password.c_str(), nullptr,
                                        nullptr, 0, nullptr, options);
    obtained = code == 0;
  }
  if (obtained) krb5_free_cred_contents(context, &credentials);
  if (options != nullptr) krb5_get_init_creds_opt_free(context, options);
  krb5_free_principal(context, principal);
  if (code != 0) {
    if (cache != nullptr) krb5_cc_destroy(context, cache);
    return failure(context, code, principalText);
  }

  char* fullName = nullptr;
  code = krb5_cc_get_full_name(context, cache, &fullName);
  if (code != 0) {
    krb5_cc_destroy(context, cache);
    return failure(context, code, principalText);
  }
  if (login.cache != nullptr) krb5_cc_destroy(context, login.cache);
  login.cache = cache;
  login.cacheName = fullName;
  krb5_free_string(context, fullName);
  // The GSSAPI mechanism (and with it the SASL plugin libldap loads) uses this cache from
  // now on, in place of the one the environment names.
  OM_uint32 minor = 0;
  if (gss_krb5_ccache_name(&minor, login.cacheName.c_str(), nullptr) != GSS_S_COMPLETE) {
    return {kLocalError, "the Kerberos credentials of " + principalText + " cannot be used"};
  }
  return {};
}

bool explicitLoginActive() {
  return state().cache != nullptr;
}

}  // namespace tavrel::ldap
