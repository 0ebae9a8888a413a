// SPDX-License-Identifier: Apache-2.0
#include "directory/account_name.h"

#include "common/text.h"

namespace tavrel {

namespace {

std::string upperCase(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

}  // namespace

AccountName splitAccountName(std::string_view text) {
  if (size_t slash = text.find('\\'); slash != std::string_view::npos) {
    return {std::string(text.substr(0, slash)), std::string(text.substr(slash + 1))};
  }
  // A name may hold an at-sign of its own; the realm follows the last one.
  if (size_t at = text.rfind('@'); at != std::string_view::npos) {
    return {std::string(text.substr(at + 1)), std::string(text.substr(0, at))};
  }
  return {"", std::string(text)};
}

std::string kerberosPrincipal(const AccountName& account, std::string_view defaultRealm) {
  std::string realm = upperCase(account.domain);
  if (realm.empty()) {
    realm = defaultRealm;
  } else if (realm.find('.') == std::string::npos) {
    std::string_view firstLabel = defaultRealm.substr(0, defaultRealm.find('.'));
    if (lowerCase(firstLabel) == lowerCase(realm)) realm = defaultRealm;
  }
  return realm.empty() ? account.name : account.name + "@" + realm;
}

}  // namespace tavrel
