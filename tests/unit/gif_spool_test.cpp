// The spool file: where it grows, placing it without ever replacing a file,
// surviving its folder's removal, and removing what a killed process left.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>

#include "gif_test_support.h"
#include "output/gif/gif_spool.h"

namespace orvamy {
namespace {

using namespace gif_test;

std::string Text(const fs::path& path) {
  const auto bytes = ReadAll(path);
  return std::string(bytes.begin(), bytes.end());
}

void Write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// An owner id no real process has, different for each test run.
std::uint64_t UnusedOwner() {
  std::random_device rd;
  return (std::uint64_t{1} << 40) + rd();
}

// A target that appears after Place looked (another program saving the same
// name at the same moment) must survive whichever route places the file.
TEST(GifSpool, PlacingNeverReplacesWhatIsAlreadyThere) {
  enum class There { kNothing, kFile, kFolder, kDanglingLink };
  const struct {
    const char* name;
    bool allow_link;  // false: the route taken on FAT/exFAT or across volumes
    There there;
    gif::PlaceOutcome expected;
  } cases[] = {
      {"link, free name", true, There::kNothing, gif::PlaceOutcome::kPlaced},
      {"link, file", true, There::kFile, gif::PlaceOutcome::kExists},
      {"link, folder", true, There::kFolder, gif::PlaceOutcome::kExists},
      {"link, dangling link", true, There::kDanglingLink, gif::PlaceOutcome::kExists},
      {"copy, free name", false, There::kNothing, gif::PlaceOutcome::kPlaced},
      {"copy, file", false, There::kFile, gif::PlaceOutcome::kExists},
      {"copy, folder", false, There::kFolder, gif::PlaceOutcome::kExists},
      {"copy, dangling link", false, There::kDanglingLink, gif::PlaceOutcome::kExists},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const fs::path from = dir.path() / "spool";
    const fs::path to = dir.path() / "GIF1.gif";
    Write(from, "new frames");
    switch (c.there) {
      case There::kNothing:
        break;
      case There::kFile:
        Write(to, "keep me");
        break;
      case There::kFolder:
        fs::create_directory(to);
        break;
      case There::kDanglingLink: {
        std::error_code ec;
        fs::create_symlink(dir.path() / "nowhere", to, ec);
        if (ec) continue;  // no symbolic links for this user here
        break;
      }
    }
    std::error_code ec;
    const gif::PlaceOutcome outcome = gif::PlaceWithoutReplacing(from, to, c.allow_link, ec);
    EXPECT_EQ(outcome, c.expected) << ec.message();
    EXPECT_EQ(Text(from), "new frames");
    switch (c.there) {
      case There::kNothing:
        EXPECT_EQ(Text(to), "new frames");
        break;
      case There::kFile:
        EXPECT_EQ(Text(to), "keep me");
        break;
      case There::kFolder:
        EXPECT_TRUE(fs::is_directory(to));
        break;
      case There::kDanglingLink:
        EXPECT_TRUE(fs::is_symlink(to));
        EXPECT_FALSE(fs::exists(dir.path() / "nowhere"));
        break;
    }
  }
}

TEST(GifSpool, GrowsOutOfSightInTheTemporaryFolderOnTheSameVolume) {
  ScratchDir dir;  // inside the system's temporary folder
  const std::uint64_t owner = UnusedOwner();
  gif::SpoolFile spool(dir.path(), owner);
  ASSERT_FALSE(spool.failed());
  fs::path temp = fs::temp_directory_path();
  if (!temp.has_filename()) temp = temp.parent_path();  // Windows: "...\Temp\"
  EXPECT_EQ(spool.path().parent_path(), temp);
  EXPECT_EQ(gif::SpoolOwner(spool.path().filename().string()), owner);
  EXPECT_TRUE(dir.Files().empty());  // the probe link is gone too
  ASSERT_TRUE(spool.Append(Bytes("GIF89a...")));
  ASSERT_TRUE(spool.Finish());
  const SaveResult saved = spool.Place((dir.path() / "x.gif").string());
  ASSERT_TRUE(saved) << saved.error;
  EXPECT_EQ(Text(dir.path() / "x.gif"), "GIF89a...");
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"x.gif"});
}

// Another volume: a small tmpfs, so it runs only where the tests may mount.
TEST(GifSpool, GrowsBesideTheTargetOnAnotherVolume) {
  ScratchDir dir;
  const fs::path other = dir.path() / "other";
  fs::create_directories(other);
  const std::string mount = "mount -t tmpfs -o size=1m orvamy-other '" + other.string() +
                            "' >/dev/null 2>&1";
  if (std::system(mount.c_str()) != 0) GTEST_SKIP() << "cannot mount a small tmpfs here";
  struct Unmount {
    std::string dir;
    ~Unmount() { [[maybe_unused]] int rc = std::system(("umount '" + dir + "'").c_str()); }
  } unmount{other.string()};
  {
    gif::SpoolFile spool(other, 7);
    ASSERT_FALSE(spool.failed());
    EXPECT_EQ(spool.path().parent_path(), other);
    EXPECT_EQ(spool.path().filename().string().front(), '.');  // hidden
    ASSERT_TRUE(spool.Append(Bytes("GIF89a")));
    ASSERT_TRUE(spool.Finish());
    ASSERT_TRUE(spool.Place((other / "x.gif").string()));
  }
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(other)) names.insert(e.path().filename().string());
  EXPECT_EQ(names, std::set<std::string>{"x.gif"});
}

// The folder the spool grew in deleted during the recording (possible where an
// open file does not keep its folder): the open file still holds the bytes.
TEST(GifSpool, SurvivesItsNameVanishing) {
  ScratchDir dir;
  gif::SpoolFile spool(dir.path(), 0);
  ASSERT_TRUE(spool.Append(Bytes("GIF89a, part one; ")));
  std::error_code ec;
  fs::remove(spool.path(), ec);
  if (ec || fs::exists(spool.path())) GTEST_SKIP() << "an open file keeps its name here";
  ASSERT_TRUE(spool.Append(Bytes("part two")));
  ASSERT_TRUE(spool.Finish());
  const SaveResult saved = spool.Place((dir.path() / "x.gif").string());
  ASSERT_TRUE(saved) << saved.error;
  EXPECT_EQ(Text(dir.path() / "x.gif"), "GIF89a, part one; part two");
}

TEST(GifSpool, OwnersAreReadOnlyFromOurNames) {
  const struct {
    const char* name;
    std::optional<std::uint64_t> owner;
  } cases[] = {
      {".orvamy-4242-0123456789ab.gif.part", 4242},
      {".orvamy-0-0123456789ab.gif.part", 0},
      {".orvamy-31-0123456789ab.probe.part", 31},
      {".orvamy-18446744073709551615-0123456789ab.gif.part", 18446744073709551615u},
      {".orvamy-18446744073709551616-0123456789ab.gif.part", std::nullopt},  // beyond 64 bits
      {".orvamy-0123456789ab.gif.part", std::nullopt},  // no owner (older builds)
      {".orvamy--0123456789ab.gif.part", std::nullopt},
      {".orvamy-12-0123456789AB.gif.part", std::nullopt},
      {".orvamy-12-0123456789a.gif.part", std::nullopt},
      {".orvamy-1x-0123456789ab.gif.part", std::nullopt},
      {"orvamy-12-0123456789ab.gif.part", std::nullopt},
      {".orvamy-12-0123456789ab.gif", std::nullopt},
      {"GIF2024351479.gif", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(gif::SpoolOwner(c.name), c.owner) << c.name;
}

TEST(GifSpool, StartUpRemovesOnlyTheSpoolFilesOfEndedProcesses) {
  ScratchDir a, b;
  const std::vector<std::string> kept = {
      ".orvamy-200-0123456789ab.gif.part",  // its owner still runs
      ".orvamy-0-0123456789ab.gif.part",    // owner unknown
      ".orvamy-0123456789ab.gif.part",      // not a name we can tell the owner of
      "GIF2024351479.gif",
      "notes.part",
  };
  for (const std::string& name : kept) Write(a.path() / name, "x");
  Write(a.path() / ".orvamy-100-0123456789ab.gif.part", "left by a killed process");
  Write(b.path() / ".orvamy-101-aaaaaaaaaaaa.gif.part", "another");
  fs::create_directory(b.path() / ".orvamy-102-bbbbbbbbbbbb.gif.part");  // not a file: stays
  const auto running = [](std::uint64_t owner) { return owner == 200; };
  EXPECT_EQ(gif::RemoveStaleSpoolFiles({a.path(), b.path(), a.path() / "missing"}, running), 2u);
  std::vector<std::string> sorted = kept;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(a.Files(), sorted);
  EXPECT_EQ(b.Files(), std::vector<std::string>{".orvamy-102-bbbbbbbbbbbb.gif.part"});
}

}  // namespace
}  // namespace orvamy
