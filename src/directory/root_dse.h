// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_ROOT_DSE_H_
#define TAVREL_DIRECTORY_ROOT_DSE_H_

#include "common/root_dse_info.h"
#include "directory/session.h"

namespace tavrel {

/// Reads the root entry into `info` and classifies the directory. Returns the search's result
/// code; a failed search is reported on standard error and leaves `info` at its start values.
/// The session stays open either way: closing it is its owner's business.
int gatherRootDse(DirectorySession& session, RootDseInfo& info);

/// Sets the capability flags, the directory type and the mode texts.
void classifyDirectory(RootDseInfo& info);

}  // namespace tavrel

#endif  // TAVREL_DIRECTORY_ROOT_DSE_H_
