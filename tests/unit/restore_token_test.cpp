// Where the portal's restore token is kept, and that a missing, damaged or
// unwritable token never stands in the way of a recording.

#include "platform/wayland/restore_token.h"

#include <gtest/gtest.h>

#include <fstream>

#include "gif_test_support.h"

namespace orvamy::wayland {
namespace {

namespace fs = std::filesystem;

TEST(RestoreToken, PathFollowsTheXdgConfigRules) {
  const struct {
    const char* xdg_config_home;
    const char* home;
    std::optional<fs::path> expected;
  } cases[] = {
      {"/cfg", "/home/u", fs::path("/cfg/orvamy-gif/portal-restore-token")},
      {nullptr, "/home/u", fs::path("/home/u/.config/orvamy-gif/portal-restore-token")},
      {"", "/home/u", fs::path("/home/u/.config/orvamy-gif/portal-restore-token")},
      {"relative/cfg", "/home/u", fs::path("/home/u/.config/orvamy-gif/portal-restore-token")},
      {nullptr, "relative", std::nullopt},
      {nullptr, nullptr, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RestoreTokenPath(c.xdg_config_home, c.home), c.expected)
        << (c.xdg_config_home ? c.xdg_config_home : "(unset)") << " / "
        << (c.home ? c.home : "(unset)");
  }
}

TEST(RestoreToken, IsKeptInAFolderMadeForItAndReplacedByTheNextOne) {
  gif_test::ScratchDir dir;
  const fs::path path = dir.path() / "config" / "orvamy-gif" / "portal-restore-token";
  EXPECT_EQ(ReadRestoreToken(path), "") << "none before the first approval";

  std::string error;
  ASSERT_TRUE(WriteRestoreToken(path, "7f1d0c2e-9a4b-4c55-8e21-3f6a9b0d4e11", error)) << error;
  EXPECT_EQ(ReadRestoreToken(path), "7f1d0c2e-9a4b-4c55-8e21-3f6a9b0d4e11");
  // Tokens are used once: each run keeps the new one.
  ASSERT_TRUE(WriteRestoreToken(path, "second-token", error)) << error;
  EXPECT_EQ(ReadRestoreToken(path), "second-token");
  EXPECT_FALSE(fs::exists(path.string() + ".new")) << "no half-written file left";
}

TEST(RestoreToken, AnUnusableFileReadsAsNoToken) {
  gif_test::ScratchDir dir;
  const fs::path path = dir.path() / "portal-restore-token";
  const struct {
    const char* what;
    std::string content;
    std::string expected;
  } cases[] = {
      {"a line end is not part of it", "abc-123\r\n", "abc-123"},
      {"empty", "", ""},
      {"a space inside", "abc 123\n", ""},
      {"binary", std::string("ab\0cd", 5), ""},
      {"far too long", std::string(600, 'a'), ""},
  };
  for (const auto& c : cases) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.content;
    EXPECT_EQ(ReadRestoreToken(path), c.expected) << c.what;
  }
  fs::create_directories(dir.path() / "a-folder");
  EXPECT_EQ(ReadRestoreToken(dir.path() / "a-folder"), "") << "a folder in its place";
}

TEST(RestoreToken, AnUnwritableConfigFolderIsReportedNotFatal) {
  gif_test::ScratchDir dir;
  // A file where the folder should be: no permission bits involved, so this
  // holds when the tests run as root too.
  std::ofstream(dir.path() / "orvamy-gif") << "not a folder";
  std::string error;
  EXPECT_FALSE(WriteRestoreToken(dir.path() / "orvamy-gif" / "portal-restore-token", "t1", error));
  EXPECT_NE(error, "");

  error.clear();
  EXPECT_FALSE(WriteRestoreToken(dir.path() / "token", "not a token", error));
  EXPECT_NE(error, "");
  EXPECT_FALSE(fs::exists(dir.path() / "token"));
}

}  // namespace
}  // namespace orvamy::wayland
