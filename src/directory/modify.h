#ifndef TAVREL_DIRECTORY_MODIFY_H_
#define TAVREL_DIRECTORY_MODIFY_H_

#include <string_view>

#include "directory/session.h"

namespace tavrel {

/// Replaces one attribute by one value; the LDAP result code, unchanged.
int setAttribute(DirectorySession& session, std::string_view dn, std::string_view attribute,
                 std::string_view value);

/// Deletes the object and everything below it (tree-delete control, critical).
int deleteTree(DirectorySession& session, std::string_view dn);

/// Moves the object under `newParent`, keeping its own RDN as written in `dn`.
int moveObject(DirectorySession& session, std::string_view dn, std::string_view newParent);

}  // namespace tavrel

#endif  // TAVREL_DIRECTORY_MODIFY_H_
