// SPDX-License-Identifier: Apache-2.0
#include "directory/connect_probe.h"

namespace tavrel::ldap {

// wldap32 reports its own connection errors; the Windows build adds no probe of its own.
ConnectFinding probeConnection(const std::string&, int) {
  return {};
}

}  // namespace tavrel::ldap
