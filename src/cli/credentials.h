// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_CLI_CREDENTIALS_H_
#define TAVREL_CLI_CREDENTIALS_H_

#include <cstdio>

#include "common/exit_status.h"
#include "common/run_settings.h"
#include "directory/ldap_client.h"

namespace tavrel {

/// With -user, fills `identity` with the name and the password: the first line of the
/// -pwfile file (`input` for "-"), or a line typed at the terminal after the prompt
/// "Password for NAME: ". A password that cannot be read, or an empty one, is refused like an
/// option, with the usage hint, before anything is opened. Without -user `identity` stays
/// empty and nothing is read.
PhaseResult readBindCredentials(const RunSettings& settings, ldap::BindIdentity& identity,
                                std::FILE* input = stdin);

}  // namespace tavrel

#endif  // TAVREL_CLI_CREDENTIALS_H_
