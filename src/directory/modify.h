// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_MODIFY_H_
#define TAVREL_DIRECTORY_MODIFY_H_

#include <string>
#include <string_view>

#include "directory/session.h"

namespace tavrel {

/// How long each write waits for its answer from now on, in seconds.
void setWriteTimeout(int seconds);

/// Replaces one attribute by one value; the LDAP result code, unchanged.
int setAttribute(DirectorySession& session, std::string_view dn, std::string_view attribute,
                 std::string_view value);

/// Deletes the object and everything below it (tree-delete control, critical).
int deleteTree(DirectorySession& session, std::string_view dn);

/// Moves the object under `newParent`, keeping its own RDN as the directory stores it.
int moveObject(DirectorySession& session, std::string_view dn, std::string_view newParent);

/// The object's DN as the directory spells it (the run works with lower-cased DNs); `dn`
/// itself when the object cannot be read or the read finds a differently named object.
std::string storedDn(DirectorySession& session, std::string_view dn);

/// `moveObject` with the stored DN already read: the RDN of `stored` is kept.
int moveStoredObject(DirectorySession& session, std::string_view dn, std::string_view stored,
                     std::string_view newParent);

}  // namespace tavrel

#endif  // TAVREL_DIRECTORY_MODIFY_H_
