// SPDX-License-Identifier: Apache-2.0
#include "directory/security_descriptor.h"

#include <cstddef>
#include <utility>

namespace tavrel {

namespace {

constexpr std::size_t kHeaderSize = 20;
constexpr std::size_t kAclHeaderSize = 8;
constexpr std::size_t kAceHeaderSize = 4;
constexpr std::size_t kSidFixedSize = 8;
constexpr unsigned kMaxSubAuthorities = 15;

constexpr std::uint16_t kDaclPresent = 0x0004;
constexpr std::uint16_t kSelfRelative = 0x8000;

constexpr std::uint8_t kAceDenied = 0x01;
constexpr std::uint8_t kAceDeniedObject = 0x06;
constexpr std::uint8_t kAceInheritOnly = 0x08;
constexpr std::uint32_t kObjectTypePresent = 0x1;
constexpr std::uint32_t kInheritedObjectTypePresent = 0x2;
constexpr std::size_t kGuidSize = 16;

// S-1-1-0: revision 1, one sub-authority, authority 1 (world), sub-authority 0.
constexpr unsigned char kEveryone[] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};

/// Little-endian reads from a span whose bounds the caller checked.
std::uint16_t u16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

std::uint32_t u32(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint32_t>(u16(bytes, at)) |
         (static_cast<std::uint32_t>(u16(bytes, at + 2)) << 16);
}

DeleteDenial invalid(std::string problem) {
  DeleteDenial denial;
  denial.problem = std::move(problem);
  return denial;
}

/// The size of the SID at the start of `bytes`, or 0 when it does not fit or is not one.
std::size_t sidSize(std::string_view bytes) {
  if (bytes.size() < kSidFixedSize || bytes[0] != 1) return 0;
  const unsigned count = static_cast<unsigned char>(bytes[1]);
  if (count > kMaxSubAuthorities) return 0;
  const std::size_t size = kSidFixedSize + 4 * static_cast<std::size_t>(count);
  return size <= bytes.size() ? size : 0;
}

bool isEveryone(std::string_view sid) {
  return sid == std::string_view(reinterpret_cast<const char*>(kEveryone), sizeof kEveryone);
}

/// Checks that a part named by an offset lies inside the descriptor; offset 0 means absent.
bool partFits(std::string_view descriptor, std::uint32_t offset, std::size_t minimum) {
  if (offset == 0) return true;
  return offset >= kHeaderSize && offset <= descriptor.size() &&
         descriptor.size() - offset >= minimum;
}

}  // namespace

DeleteDenial readDeleteDenial(std::string_view descriptor) {
  if (descriptor.size() < kHeaderSize) return invalid("shorter than its header");
  if (descriptor[0] != 1) return invalid("unknown revision");
  const std::uint16_t control = u16(descriptor, 2);
  if ((control & kSelfRelative) == 0) return invalid("not self-relative");
  const std::uint32_t owner = u32(descriptor, 4);
  const std::uint32_t group = u32(descriptor, 8);
  const std::uint32_t sacl = u32(descriptor, 12);
  const std::uint32_t dacl = u32(descriptor, 16);
  if (!partFits(descriptor, owner, kSidFixedSize) || !partFits(descriptor, group, kSidFixedSize) ||
      !partFits(descriptor, sacl, kAclHeaderSize) || !partFits(descriptor, dacl, kAclHeaderSize)) {
    return invalid("a part lies outside the descriptor");
  }

  DeleteDenial denial;
  denial.valid = true;
  // No DACL, or a null one, denies nothing.
  if ((control & kDaclPresent) == 0 || dacl == 0) return denial;

  const std::string_view rest = descriptor.substr(dacl);
  const unsigned revision = static_cast<unsigned char>(rest[0]);
  if (revision != 2 && revision != 4) return invalid("unknown ACL revision");
  const std::size_t aclSize = u16(rest, 2);
  const unsigned aceCount = u16(rest, 4);
  if (aclSize < kAclHeaderSize || aclSize > rest.size()) return invalid("ACL size out of range");
  const std::string_view acl = rest.substr(0, aclSize);

  std::size_t at = kAclHeaderSize;
  for (unsigned index = 0; index < aceCount; ++index) {
    if (acl.size() - at < kAceHeaderSize) return invalid("ACE outside its ACL");
    const std::uint8_t type = static_cast<unsigned char>(acl[at]);
    const std::uint8_t flags = static_cast<unsigned char>(acl[at + 1]);
    const std::size_t aceSize = u16(acl, at + 2);
    if (aceSize < kAceHeaderSize || aceSize > acl.size() - at)
      return invalid("ACE size out of range");
    const std::string_view ace = acl.substr(at, aceSize);
    at += aceSize;
    if (type != kAceDenied && type != kAceDeniedObject) continue;

    std::size_t sidAt = kAceHeaderSize + 4;
    if (ace.size() < sidAt) return invalid("deny ACE too short");
    const std::uint32_t mask = u32(ace, kAceHeaderSize);
    if (type == kAceDeniedObject) {
      if (ace.size() < sidAt + 4) return invalid("object ACE too short");
      const std::uint32_t objectFlags = u32(ace, sidAt);
      sidAt += 4;
      if ((objectFlags & kObjectTypePresent) != 0) sidAt += kGuidSize;
      if ((objectFlags & kInheritedObjectTypePresent) != 0) sidAt += kGuidSize;
      if (ace.size() < sidAt) return invalid("object ACE too short");
    }
    const std::size_t size = sidSize(ace.substr(sidAt));
    if (size == 0) return invalid("ACE holds no valid SID");
    if ((flags & kAceInheritOnly) != 0 || !isEveryone(ace.substr(sidAt, size))) continue;
    const bool all = (mask & kRightGenericAll) != 0;
    if (all || (mask & kRightDelete) != 0) denial.deleteDenied = true;
    if (all || (mask & kRightDeleteTree) != 0) denial.deleteTreeDenied = true;
  }
  return denial;
}

}  // namespace tavrel
