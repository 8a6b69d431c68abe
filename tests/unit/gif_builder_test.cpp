// The builder's file structure, timing and file handling, read back with a
// block walker of our own (runs everywhere, also under Wine).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <numeric>

#include "gif_test_support.h"
#include "output/gif/gif_spool.h"

namespace orvamy {
namespace {

using namespace gif_test;
using std::chrono::microseconds;

struct Recording {
  GifMaker maker;
  AnimationInfo info;
  FrameInfo frame;
  std::chrono::steady_clock::time_point clock{};
  microseconds nominal{0};  // the pacing interval the recorder reports, if any

  explicit Recording(const fs::path& work, std::uint16_t delay = 20, int w = 0, int h = 0,
                     std::uint64_t spool_owner = 0) {
    BeginAnimation(maker, info, BeginOptions{work, false, spool_owner});
    info.width = static_cast<std::uint16_t>(w);
    info.height = static_cast<std::uint16_t>(h);
    frame.delay = delay;
  }
  // Captured `after` the previous frame; by default one nominal delay later.
  void Add(const Picture& p, std::optional<microseconds> after = std::nullopt) {
    clock += after.value_or(microseconds(frame.delay * 10000));
    AddFrame(maker, frame, EncodeBmp24(p), FrameTiming{clock, nominal});
  }
  void AddEmpty(std::optional<microseconds> after = std::nullopt) {
    clock += after.value_or(microseconds(frame.delay * 10000));
    AddFrame(maker, frame, {}, FrameTiming{clock});
  }
  void AddUntimed(const Picture& p) { AddFrame(maker, frame, EncodeBmp24(p)); }
  SaveResult Save(const fs::path& path) { return SaveAnimation(maker, path.string()); }
};

std::vector<int> Delays(const GifLayout& g) {
  std::vector<int> d;
  for (const auto& i : g.images) d.push_back(i.delay);
  return d;
}

TEST(GifBuilder, WritesAValidLoopingFileWithMergedFramesAndExtendedEmptyOnes) {
  ScratchDir dir;
  Recording r(dir.path(), 20, 40, 30);
  r.Add(FewColours(40, 30, 0));
  r.Add(FewColours(40, 30, 0));  // identical: merged
  r.Add(FewColours(40, 30, 5));
  r.AddEmpty();                  // lengthens the frame before it
  r.Add(FewColours(40, 30, 5));  // identical again
  r.Add(FewColours(40, 30, 9));
  r.info.frame_count = 6;
  const SaveResult saved = r.Save(dir.path() / "a.gif");
  ASSERT_TRUE(saved) << saved.error;
  EXPECT_EQ(saved.written_path, (dir.path() / "a.gif").string());
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"a.gif"});  // no temporary file left

  const GifLayout g = WalkGif(ReadAll(dir.path() / "a.gif"));
  ASSERT_TRUE(g.valid);
  EXPECT_TRUE(g.loops);
  EXPECT_EQ(g.screen_width, 40);
  EXPECT_EQ(g.screen_height, 30);
  EXPECT_EQ(Delays(g), (std::vector<int>{40, 60, 20}));
  for (const auto& image : g.images) {
    EXPECT_EQ(image.disposal, 1);
    EXPECT_GE(image.min_code_size, 2);
    EXPECT_LE(image.max_sub_block, 255);
    EXPECT_LE(image.left + image.width, 40);
    EXPECT_LE(image.top + image.height, 30);
  }
  EXPECT_EQ(g.images[0].width, 40);  // the first frame covers the screen
  EXPECT_EQ(g.images[0].height, 30);
}

TEST(GifBuilder, DelaysBelowTwoFollowTheCaptureTimesWithCumulativeRounding) {
  const struct {
    std::uint16_t delay;
    microseconds interval;
    int frames;
    int total;  // hundredths the animation should play
  } cases[] = {
      {1, microseconds(33333), 30, 100},  // 30 fps recorded with a nominal delay of 1
      {0, microseconds(10000), 20, 20},   // 100 fps: pairs merge
      {0, microseconds(4000), 50, 20},    // 250 fps
      {0, microseconds(16667), 60, 100},  // 60 fps
      {5, microseconds(100000), 4, 35},   // 2 and more: the times rule too; the last lasts its delay
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    Recording r(dir.path(), c.delay, 24, 16);
    for (int i = 0; i < c.frames; ++i) r.Add(FewColours(24, 16, i), i ? c.interval : microseconds(0));
    const SaveResult saved = r.Save(dir.path() / "t.gif");
    ASSERT_TRUE(saved) << saved.error;
    const std::vector<int> delays = Delays(WalkGif(ReadAll(dir.path() / "t.gif")));
    SCOPED_TRACE(testing::Message() << "delay " << c.delay << " interval " << c.interval.count());
    for (int d : delays) EXPECT_GE(d, 2);
    // Within the 2 hundredths that the last frame may need at least.
    EXPECT_NEAR(std::accumulate(delays.begin(), delays.end(), 0), c.total, 2);
    if (c.delay == 1) {  // 3.33 per frame: a 4 among the 3s, never all 3
      ASSERT_GE(delays.size(), 3u);
      EXPECT_EQ(delays[0] + delays[1] + delays[2], 10);
    }
  }
}

TEST(GifBuilder, TimedFramesFollowTheCaptureTimesAndTheLastOneItsInterval) {
  const struct {
    std::uint16_t delay;
    microseconds nominal;  // the pacing interval reported
    bool timed;            // capture times, `nominal` apart
    int frames;
    int total;
  } cases[] = {
      {3, microseconds(33333), true, 30, 100},   // 30 fps: 3/3/4, not 3 x 30 = 90 (10% fast)
      {14, microseconds(142857), true, 7, 100},  // 7 fps
      {20, microseconds(200000), true, 5, 100},  // exact already
      {20, microseconds(100000), true, 5, 50},   // the times and the interval rule, never the delay
      {3, microseconds(0), false, 30, 90},       // no times: the delay as it stands
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    Recording r(dir.path(), c.delay, 24, 16);
    r.nominal = c.nominal;
    for (int i = 0; i < c.frames; ++i) {
      if (c.timed) {
        r.Add(FewColours(24, 16, i), c.nominal);
      } else {
        r.AddUntimed(FewColours(24, 16, i));
      }
    }
    ASSERT_TRUE(r.Save(dir.path() / "t.gif"));
    const std::vector<int> delays = Delays(WalkGif(ReadAll(dir.path() / "t.gif")));
    SCOPED_TRACE(testing::Message() << "delay " << c.delay << " interval " << c.nominal.count());
    EXPECT_EQ(std::accumulate(delays.begin(), delays.end(), 0), c.total);
    for (int d : delays) EXPECT_GE(d, std::min<int>(c.delay, 10));
  }
}

TEST(GifBuilder, MarkingTheEndTimesTheLastFrameUntilTheStop) {
  const struct {
    bool marked;
    microseconds stop_after;  // after the last capture
    int last;                 // the last frame's delay
  } cases[] = {
      {false, microseconds(0), 20},      // no mark: one frame period (its delay)
      {true, microseconds(55000), 6},    // 5.5 hundredths, rounded with the rest (12.3 + 5.5)
      {true, microseconds(1000000), 100},
      {true, microseconds(3000), 2},     // never below 2
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    Recording r(dir.path(), 20, 24, 16);
    r.Add(FewColours(24, 16, 0), microseconds(0));
    r.Add(FewColours(24, 16, 1), microseconds(123000));  // 12.3: written 12
    if (c.marked) MarkAnimationEnd(r.maker, r.clock + c.stop_after);
    ASSERT_TRUE(r.Save(dir.path() / "t.gif"));
    const std::vector<int> delays = Delays(WalkGif(ReadAll(dir.path() / "t.gif")));
    SCOPED_TRACE(testing::Message() << "stop after " << c.stop_after.count());
    ASSERT_EQ(delays.size(), 2u);
    EXPECT_EQ(delays[0], 12);
    EXPECT_EQ(delays[1], c.last);
  }
}

// The recorder hands frames over as pixels, tools as BMP bytes; after the
// copy both must take one path and give the same file, whatever the frames'
// sizes against the first (cropped, or drawn at the top left) and however
// the pixels' rows lie in memory.
TEST(GifBuilder, PixelFramesGiveTheSameFileAsTheirBmpImages) {
  struct Frame {
    Picture picture;
    std::size_t padding;  // pixels after each row of the view handed over
  };
  const struct {
    const char* name;
    std::vector<Frame> frames;
  } cases[] = {
      {"one size", {{FewColours(40, 30, 1), 0}, {FewColours(40, 30, 2), 0}, {FewColours(40, 30, 2), 0}}},
      {"rows apart", {{ManyColours(33, 17, 3), 5}, {ManyColours(33, 17, 4), 1}}},
      {"smaller, then larger",
       {{ManyColours(40, 30, 5), 0}, {FewColours(25, 30, 6), 3}, {FewColours(40, 12, 7), 0},
        {ManyColours(50, 35, 8), 2}}},
      {"an empty frame between", {{FewColours(20, 20, 9), 0}, {Picture{}, 0}, {FewColours(20, 20, 10), 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    Recording bmp(dir.path()), pixels(dir.path());
    for (const Frame& f : c.frames) {
      bmp.Add(f.picture);
      // The same picture with `padding` unrelated pixels after each row.
      const std::size_t stride = static_cast<std::size_t>(f.picture.width) + f.padding;
      std::vector<std::uint32_t> rows(stride * static_cast<std::size_t>(f.picture.height), 0xFF00FF);
      for (std::int32_t y = 0; y < f.picture.height; ++y) {
        const PixelView whole = f.picture.View();
        std::copy(whole.Row(y), whole.Row(y) + f.picture.width, rows.data() + y * stride);
      }
      const PixelView view{f.picture.width, f.picture.height, stride, rows.data()};
      pixels.clock += microseconds(pixels.frame.delay * 10000);
      AddFramePixels(pixels.maker, pixels.frame, view, FrameTiming{pixels.clock});
      std::fill(rows.begin(), rows.end(), 0u);  // the caller may reuse its buffer at once
    }
    ASSERT_TRUE(bmp.Save(dir.path() / "bmp.gif"));
    ASSERT_TRUE(pixels.Save(dir.path() / "pixels.gif"));
    const auto expected = ReadAll(dir.path() / "bmp.gif");
    EXPECT_TRUE(WalkGif(expected).valid);
    EXPECT_EQ(ReadAll(dir.path() / "pixels.gif"), expected);
  }
}

TEST(GifBuilder, NeverOverwritesAndReportsTheNameWritten) {
  ScratchDir dir;
  {
    std::ofstream(dir.path() / "GIF1.gif") << "keep me";
  }
  for (const char* expected : {"GIF1-2.gif", "GIF1-3.gif"}) {
    Recording r(dir.path());
    r.Add(Solid(3, 3, 0x123456));
    const SaveResult saved = r.Save(dir.path() / "GIF1.gif");
    ASSERT_TRUE(saved) << saved.error;
    EXPECT_EQ(saved.written_path, (dir.path() / expected).string());
  }
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"GIF1-2.gif", "GIF1-3.gif", "GIF1.gif"}));
  const auto kept = ReadAll(dir.path() / "GIF1.gif");
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep me");
}

TEST(GifBuilder, AnAbandonedRecordingLeavesNoTemporaryFile) {
  ScratchDir dir;
  std::random_device rd;
  const std::uint64_t owner = (std::uint64_t{1} << 40) + rd();  // no real process has it
  const auto spool_files = [&] {
    std::size_t n = 0;
    for (const fs::path& folder : gif::SpoolFolders({dir.path().string()})) {
      for (const auto& e : fs::directory_iterator(folder)) {
        n += gif::SpoolOwner(e.path().filename().string()) == owner;
      }
    }
    return n;
  };
  {
    Recording r(dir.path(), 20, 0, 0, owner);
    for (int i = 0; i < 20; ++i) r.Add(ManyColours(64, 48, i));
    EXPECT_EQ(spool_files(), 1u);  // the frames stream to disk as they come
  }
  EXPECT_EQ(spool_files(), 0u);
  EXPECT_TRUE(dir.Files().empty());
}

TEST(GifBuilder, AFailedSaveLeavesNothingAndKeepsTheFramesForAnotherFolder) {
  ScratchDir dir;
  const fs::path work = dir.path() / "work";
  const fs::path other = dir.path() / "other";
  fs::create_directories(work);
  fs::create_directories(other);
  Recording r(work);
  for (int i = 0; i < 5; ++i) r.Add(FewColours(30, 20, i));
  const SaveResult missing = r.Save(dir.path() / "missing" / "x.gif");
  EXPECT_FALSE(missing);
  EXPECT_FALSE(missing.error.empty());
  EXPECT_FALSE(fs::exists(dir.path() / "missing"));
  const SaveResult retried = r.Save(other / "x.gif");
  ASSERT_TRUE(retried) << retried.error;
  EXPECT_EQ(WalkGif(ReadAll(other / "x.gif")).images.size(), 5u);
  EXPECT_TRUE(fs::is_empty(work));
}

TEST(GifBuilder, AWorkFolderThatIsMissingOrVanishesStillGivesAFileOrAClearFailure) {
  ScratchDir dir;
  {
    // Missing from the start: the frames grow in the system's temporary folder.
    Recording r(dir.path() / "no" / "such");
    r.Add(Solid(5, 5, 0xFF0000));
    const SaveResult saved = r.Save(dir.path() / "fallback.gif");
    ASSERT_TRUE(saved) << saved.error;
  }
  {
    // The work folder disappears mid-way, with the target inside it.
    const fs::path work = dir.path() / "gone";
    fs::create_directories(work);
    Recording r(work);
    r.Add(Solid(5, 5, 0xFF0000));
    r.Add(Solid(5, 5, 0x00FF00));
    std::error_code ec;
    fs::remove_all(work, ec);
    if (ec) GTEST_SKIP() << "an open file keeps its folder here";
    r.Add(Solid(5, 5, 0x0000FF));
    const SaveResult saved = r.Save(work / "x.gif");
    EXPECT_FALSE(saved);
    EXPECT_FALSE(fs::exists(work));
  }
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"fallback.gif"});
}

TEST(GifBuilder, AReadOnlyFolderFailsCleanly) {
  ScratchDir dir;
  const fs::path locked = dir.path() / "locked";
  fs::create_directories(locked);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
  {
    std::ofstream probe(locked / "probe");
    if (probe) {
      probe.close();
      fs::remove(locked / "probe");
      GTEST_SKIP() << "this user may write into read-only folders";
    }
  }
  Recording r(locked);
  r.Add(FewColours(20, 20, 1));
  const SaveResult saved = r.Save(locked / "x.gif");
  EXPECT_FALSE(saved);
  EXPECT_TRUE(fs::is_empty(locked));
  EXPECT_TRUE(r.Save(dir.path() / "x.gif"));
}

// A full disk: a 64 KiB tmpfs. Needs the right to mount, so it runs only where
// the tests run as root on a system that allows it.
TEST(GifBuilder, AFullDiskLeavesNothingBehindAndTheFramesSurvive) {
  ScratchDir dir;
  const fs::path small = dir.path() / "small";
  fs::create_directories(small);
  const std::string mount = "mount -t tmpfs -o size=64k orvamy-full '" + small.string() +
                            "' >/dev/null 2>&1";
  if (std::system(mount.c_str()) != 0) GTEST_SKIP() << "cannot mount a small tmpfs here";
  struct Unmount {
    std::string dir;
    ~Unmount() { [[maybe_unused]] int rc = std::system(("umount '" + dir + "'").c_str()); }
  } unmount{small.string()};

  Recording r(small);
  for (int i = 0; i < 12; ++i) r.Add(ManyColours(200, 150, i * 7));
  const SaveResult full = r.Save(small / "x.gif");
  EXPECT_FALSE(full);
  EXPECT_TRUE(fs::is_empty(small));
  const SaveResult elsewhere = r.Save(dir.path() / "x.gif");
  ASSERT_TRUE(elsewhere) << elsewhere.error;
  const GifLayout g = WalkGif(ReadAll(dir.path() / "x.gif"));
  EXPECT_TRUE(g.valid);
  EXPECT_EQ(g.images.size(), 12u);
}

TEST(GifBuilder, SavingWithoutAnyPictureFails) {
  ScratchDir dir;
  {
    Recording r(dir.path());
    r.AddEmpty();
    r.AddEmpty();
    EXPECT_FALSE(r.Save(dir.path() / "x.gif"));
  }
  EXPECT_TRUE(dir.Files().empty());
  GifMaker never_begun;
  EXPECT_FALSE(SaveAnimation(never_begun, (dir.path() / "y.gif").string()));
}

}  // namespace
}  // namespace orvamy
