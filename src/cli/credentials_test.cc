// SPDX-License-Identifier: Apache-2.0
#include "cli/credentials.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/console.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHint = "Type tavrel /help or tavrel /? for usage assistance.\n\n";

class CredentialsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("tavrel-credentials-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  // A password file only its owner may read, so that no warning is due.
  std::string privateFile(const std::string& bytes) {
    fs::path path = folder_ / "pw";
    std::ofstream(path, std::ios::binary) << bytes;
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    return path.string();
  }

  fs::path folder_;
};

TEST_F(CredentialsTest, FirstLineOfTheFileOrOfStandardInput) {
  struct Case {
    const char* bytes;
    const char* password;
  };
  const Case cases[] = {{"s3cret\nsecond line\n", "s3cret"},
                        {"with CRLF\r\nx", "with CRLF"},
                        {"no line break", "no line break"},
                        {" spaced \n", " spaced "}};
  for (const Case& c : cases) {
    RunSettings settings;
    settings.bindUser = "TAVREL\\alice";
    settings.passwordFile = privateFile(c.bytes);
    ldap::BindIdentity fromFile;
    console::Capture capture;
    EXPECT_FALSE(readBindCredentials(settings, fromFile).stop) << capture.err();
    EXPECT_EQ(fromFile.user, "TAVREL\\alice");
    EXPECT_EQ(fromFile.password.view(), c.password);

    std::FILE* input = std::tmpfile();
    ASSERT_NE(input, nullptr);
    std::fputs(c.bytes, input);
    std::rewind(input);
    // assign(count, char): GCC 12 sees a false overlap in assigning a literal here.
    settings.passwordFile.assign(1, '-');
    ldap::BindIdentity fromInput;
    EXPECT_FALSE(readBindCredentials(settings, fromInput, input).stop);
    std::fclose(input);
    EXPECT_EQ(fromInput.password.view(), c.password);
    EXPECT_EQ(capture.err(), "");
    EXPECT_EQ(capture.out(), "");
  }
}

TEST_F(CredentialsTest, EmptyOrUnreadablePasswordIsRefused) {
  RunSettings settings;
  settings.bindUser = "alice@TAVREL.TEST";
  for (const char* bytes : {"", "\n", "\r\nsecond"}) {
    settings.passwordFile = privateFile(bytes);
    ldap::BindIdentity identity;
    console::Capture capture;
    PhaseResult result = readBindCredentials(settings, identity);
    EXPECT_TRUE(result.stop);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(capture.err(),
              "\nERROR: Empty password for alice@TAVREL.TEST.\n\n" + std::string(kHint));
  }
  settings.passwordFile = (folder_ / "missing").string();
  ldap::BindIdentity identity;
  console::Capture capture;
  PhaseResult result = readBindCredentials(settings, identity);
  EXPECT_TRUE(result.stop);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(capture.err().starts_with("\nERROR: Cannot read the password file " +
                                        settings.passwordFile + ": "))
      << capture.err();
  EXPECT_TRUE(capture.err().ends_with(std::string("\n\n") + kHint));
}

TEST_F(CredentialsTest, NothingReadWithoutAnAccount) {
  RunSettings settings;
  settings.passwordFile = privateFile("unused\n");
  ldap::BindIdentity identity;
  console::Capture capture;
  EXPECT_FALSE(readBindCredentials(settings, identity).stop);
  EXPECT_TRUE(identity.user.empty());
  EXPECT_TRUE(identity.password.empty());
  EXPECT_EQ(capture.err(), "");
}

}  // namespace
}  // namespace tavrel
