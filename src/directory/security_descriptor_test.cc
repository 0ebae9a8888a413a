// SPDX-License-Identifier: Apache-2.0
#include "directory/security_descriptor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tavrel {
namespace {

void put16(std::string& out, unsigned value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void put32(std::string& out, std::uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

const std::string kEveryoneSid("\x01\x01\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00", 12);
// S-1-5-11 (authenticated users).
const std::string kUsersSid("\x01\x01\x00\x00\x00\x00\x00\x05\x0B\x00\x00\x00", 12);

std::string ace(unsigned type, unsigned flags, std::uint32_t mask, const std::string& sid,
                std::uint32_t objectFlags = 0) {
  std::string body;
  put32(body, mask);
  if (type == 5 || type == 6) {
    put32(body, objectFlags);
    if (objectFlags & 1) body.append(16, '\x11');
    if (objectFlags & 2) body.append(16, '\x22');
  }
  body += sid;
  std::string out;
  out.push_back(static_cast<char>(type));
  out.push_back(static_cast<char>(flags));
  put16(out, static_cast<unsigned>(body.size() + 4));
  return out + body;
}

/// A self-relative descriptor holding only a DACL with the given ACEs.
std::string descriptor(const std::vector<std::string>& aces) {
  std::string acl;
  for (const std::string& one : aces) acl += one;
  std::string out = {1, 0};
  put16(out, 0x8004);
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);
  put32(out, 20);
  out.push_back(4);
  out.push_back(0);
  put16(out, static_cast<unsigned>(acl.size() + 8));
  put16(out, static_cast<unsigned>(aces.size()));
  put16(out, 0);
  return out + acl;
}

TEST(SecurityDescriptorTest, FindsTheDenyOfEveryoneOnTheObjectItself) {
  struct Case {
    const char* name;
    std::vector<std::string> aces;
    bool remove;
    bool tree;
  };
  const std::vector<Case> cases = {
      {"accidental-deletion mark",
       {ace(0, 0, 0xF01FF, kUsersSid), ace(1, 0, 0x10040, kEveryoneSid)},
       true,
       true},
      {"delete only", {ace(1, 0, kRightDelete, kEveryoneSid)}, true, false},
      {"subtree only", {ace(1, 0, kRightDeleteTree, kEveryoneSid)}, false, true},
      {"generic all", {ace(1, 0, kRightGenericAll, kEveryoneSid)}, true, true},
      {"object deny with both types", {ace(6, 0, 0x10000, kEveryoneSid, 3)}, true, false},
      {"allow is no deny", {ace(0, 0, 0x10040, kEveryoneSid)}, false, false},
      {"other trustee", {ace(1, 0, 0x10040, kUsersSid)}, false, false},
      {"inherit-only", {ace(1, 0x0A, 0x10040, kEveryoneSid)}, false, false},
      {"other rights",
       {ace(1, 0, 0x20, kEveryoneSid), ace(2, 0, 0x10040, kEveryoneSid)},
       false,
       false},
      {"empty DACL", {}, false, false},
  };
  for (const Case& c : cases) {
    const DeleteDenial denial = readDeleteDenial(descriptor(c.aces));
    ASSERT_TRUE(denial.valid) << c.name << ": " << denial.problem;
    EXPECT_EQ(denial.deleteDenied, c.remove) << c.name;
    EXPECT_EQ(denial.deleteTreeDenied, c.tree) << c.name;
    EXPECT_EQ(denial.protectedFromDeletion(), c.remove || c.tree) << c.name;
  }
}

TEST(SecurityDescriptorTest, MalformedBytesAreRefusedNotGuessed) {
  const std::string good = descriptor({ace(1, 0, 0x10040, kEveryoneSid)});
  auto patched = [&](std::size_t at, char value) {
    std::string copy = good;
    copy[at] = value;
    return copy;
  };
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty", ""},
      {"header cut", good.substr(0, 19)},
      {"revision", patched(0, 2)},
      {"absolute form", patched(3, 0)},
      {"DACL offset past end", patched(16, 0x7F)},
      {"DACL offset inside header", patched(16, 4)},
      {"ACL revision", patched(20, 7)},
      {"ACL longer than buffer", good.substr(0, good.size() - 1)},
      {"more ACEs than fit", patched(24, 2)},
      {"ACE size zero", patched(30, 0)},
      {"SID sub-authority count", patched(37, 16)},
      {"SID revision", patched(36, 0)},
  };
  for (const auto& [name, bytes] : cases) {
    const DeleteDenial denial = readDeleteDenial(bytes);
    EXPECT_FALSE(denial.valid) << name;
    EXPECT_FALSE(denial.protectedFromDeletion()) << name;
    EXPECT_FALSE(denial.problem.empty()) << name;
  }
  // The good descriptor itself, and the same with bytes after it, read as protected.
  EXPECT_TRUE(readDeleteDenial(good).protectedFromDeletion());
  EXPECT_TRUE(readDeleteDenial(good + std::string(5, '\xFF')).protectedFromDeletion());
  // No DACL at all (present bit clear) denies nothing.
  EXPECT_FALSE(readDeleteDenial(patched(2, 0)).protectedFromDeletion());
  EXPECT_TRUE(readDeleteDenial(patched(2, 0)).valid);
}

}  // namespace
}  // namespace tavrel
