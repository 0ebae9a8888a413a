// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_APP_STARTUP_H_
#define TAVREL_APP_STARTUP_H_

namespace tavrel {

/// Process-wide settings made once at start-up, before anything else runs. On POSIX a broken
/// pipe is ignored: a directory server that closes the connection while a request is being
/// written must give the call an error result, not end the process.
void prepareProcess();

}  // namespace tavrel

#endif  // TAVREL_APP_STARTUP_H_
