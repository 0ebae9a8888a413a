#ifndef TAVREL_DIRECTORY_ROOT_DSE_H_
#define TAVREL_DIRECTORY_ROOT_DSE_H_

#include "common/root_dse_info.h"
#include "directory/session.h"

namespace tavrel {

/// Reads the root entry; on a failed search reports it, closes the session and leaves
/// `valid` false.
RootDseInfo gatherRootDse(DirectorySession& session);

/// Sets the capability flags, the directory type and the mode texts.
void classifyDirectory(RootDseInfo& info);

}  // namespace tavrel

#endif  // TAVREL_DIRECTORY_ROOT_DSE_H_
