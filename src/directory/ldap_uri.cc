// SPDX-License-Identifier: Apache-2.0
#include "directory/ldap_uri.h"

#include <string>

#include "common/text.h"

namespace tavrel::ldap {

bool isUri(std::string_view host) {
  std::string lower = lowerCase(host.substr(0, 8));
  return lower.starts_with("ldap://") || lower.starts_with("ldaps://") ||
         lower.starts_with("ldapi://");
}

}  // namespace tavrel::ldap
