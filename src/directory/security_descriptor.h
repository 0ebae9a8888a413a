// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_SECURITY_DESCRIPTOR_H_
#define TAVREL_DIRECTORY_SECURITY_DESCRIPTOR_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace tavrel {

/// Access-mask bits that matter for removing an object.
constexpr std::uint32_t kRightDelete = 0x00010000;
constexpr std::uint32_t kRightDeleteTree = 0x00000040;
/// A deny of every right covers the two above as well.
constexpr std::uint32_t kRightGenericAll = 0x10000000;

/// What the discretionary ACL of an object says about deleting it, as far as the run cares:
/// whether Everyone (S-1-1-0) is denied Delete or Delete-subtree on the object itself, the
/// mark that administrators set with "protect from accidental deletion".
struct DeleteDenial {
  /// False when the bytes are not a well-formed self-relative descriptor; `problem` then
  /// says what is wrong and the two flags below mean nothing.
  bool valid = false;
  std::string problem;
  bool deleteDenied = false;
  bool deleteTreeDenied = false;

  bool protectedFromDeletion() const { return valid && (deleteDenied || deleteTreeDenied); }
};

/// Reads a self-relative security descriptor (nTSecurityDescriptor as the directory sends
/// it, typically with only the DACL requested). The bytes come from the network and are not
/// trusted: every offset, count and size is checked against the buffer, and anything that
/// does not fit makes the result invalid rather than guessed. Deny ACEs that are inherit-only
/// do not apply to the object and are ignored; object deny ACEs count whatever their object
/// type, since a wrongly refused delete costs less than a wrongly sent one.
DeleteDenial readDeleteDenial(std::string_view descriptor);

}  // namespace tavrel

#endif  // TAVREL_DIRECTORY_SECURITY_DESCRIPTOR_H_
