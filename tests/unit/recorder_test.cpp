#include "record/recorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "form/main_window_layout.h"
#include "gif_test_support.h"
#include "platform/fake/fake_platform.h"

namespace orvamy {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

TEST(RecorderTiming, DelayAndIntervalFollowTheRate) {
  const struct {
    std::int32_t fps;
    std::uint16_t delay;
    std::int64_t interval_us;
  } cases[] = {{5, 20, 200000}, {1, 100, 1000000}, {3, 33, 333333}, {7, 14, 142857},
               {30, 3, 33333},  {100, 1, 10000},   {101, 0, 9900},  {1000, 0, 1000},
               {0, 0, 0},       {-5, 0, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(FrameDelayForRate(c.fps), c.delay) << c.fps;
    EXPECT_EQ(FrameIntervalMicrosForRate(c.fps), c.interval_us) << c.fps;
  }
}

using TempDir = gif_test::ScratchDir;  // a folder of its own per test, removed afterwards

// Capturing costs 30 ms of (manual) time, so pacing by deadlines can be seen.
class SlowScreen final : public ScreenSource {
 public:
  SlowScreen(fake::ManualClock& clock) : clock_(clock) {}
  ByteArray CaptureScreenRect(std::int32_t x, std::int32_t y, std::int32_t w,
                              std::int32_t h) override {
    clock_.Advance(milliseconds(30));
    return inner_.CaptureScreenRect(x, y, w, h);
  }

 private:
  fake::ManualClock& clock_;
  fake::SyntheticScreen inner_{1920, 1080, 32};
};

class RecorderTest : public testing::Test {
 protected:
  RecorderTest() { boxes.width = "40"; boxes.height = "30"; }

  Recorder& MakeRecorder(std::vector<std::string> directories = {}) {
    if (directories.empty()) directories = {dir.path().string()};
    recorder_ = std::make_unique<Recorder>(RecorderPorts{
        screen, pointer, boxes, position, canvas, clock, local_time, view, messages, clipboard,
        SaveLocations{std::move(directories), static_cast<char>(fs::path::preferred_separator)}});
    return *recorder_;
  }

  // Stops the recording once the caption shows `frames` frames.
  void StopAfter(int frames) {
    view.on_caption = [this, frames](const std::string& caption) {
      if (caption == std::string(kFrameCountCaptionPrefix) + std::to_string(frames)) {
        recorder_->StopRecording();
      }
    };
  }

  std::vector<std::string> FrameCaptions() const {
    std::vector<std::string> frames;
    for (const auto& c : view.captions()) {
      if (c.starts_with(kFrameCountCaptionPrefix)) frames.push_back(c);
    }
    return frames;
  }

  TempDir dir;
  fake::ManualClock clock;
  SlowScreen screen{clock};
  fake::ScriptedPointer pointer;
  fake::ParameterBoxesStub boxes;
  PointerPosition position;
  FrameCanvas canvas;
  fake::FixedLocalTime local_time{{2024, 3, 5, 14, 7, 9}};
  fake::RecordingView view;
  fake::RecordingMessages messages;
  fake::ScriptedClipboard clipboard;
  std::unique_ptr<Recorder> recorder_;
};

TEST_F(RecorderTest, RecordsUntilStoppedSavesCopiesAndReports) {
  Recorder& recorder = MakeRecorder();
  StopAfter(3);
  recorder.StartRecording();
  ASSERT_TRUE(messages.WaitForShown(1, milliseconds(5000)));
  recorder.Shutdown();

  EXPECT_EQ(FrameCaptions(), (std::vector<std::string>{"帧数：1", "帧数：2", "帧数：3"}));
  EXPECT_EQ(view.captions().back(), kMainWindowTitle);
  EXPECT_EQ(view.record_enabled(), (std::vector<bool>{false, true}));
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"GIF2024351479.gif"});
  const std::string path = (dir.path() / "GIF2024351479.gif").string();
  EXPECT_EQ(clipboard.calls(), std::vector<std::string>{"html:" + path});
  ASSERT_EQ(messages.shown().size(), 1u);
  EXPECT_EQ(messages.shown()[0].text, kSavedCopiedMessage);
  EXPECT_EQ(messages.shown()[0].title, "信息：");
  std::ifstream gif(path, std::ios::binary);
  char magic[6] = {};
  gif.read(magic, 6);
  EXPECT_EQ(std::string(magic, 6), "GIF89a");
}

TEST_F(RecorderTest, TheMessageNamesTheClipboardThatTookTheFile) {
  const struct {
    bool html, qq;
    std::string_view message;
    std::size_t calls;
  } cases[] = {{true, true, kSavedCopiedMessage, 1},
               {false, true, kSavedCopiedQQMessage, 2},
               {false, false, kSavedNotCopiedMessage, 2}};
  for (const auto& c : cases) {
    fake::RecordingMessages local_messages;
    fake::ScriptedClipboard local_clipboard;
    local_clipboard.html_result = c.html;
    local_clipboard.qq_result = c.qq;
    Recorder recorder(RecorderPorts{screen, pointer, boxes, position, canvas, clock, local_time,
                                    view, local_messages, local_clipboard,
                                    SaveLocations{{dir.path().string()}, '/'}});
    view.on_caption = [&](const std::string&) { recorder.StopRecording(); };
    recorder.StartRecording();
    ASSERT_TRUE(local_messages.WaitForShown(1, milliseconds(5000)));
    recorder.Shutdown();
    EXPECT_EQ(local_messages.shown()[0].text, c.message);
    EXPECT_EQ(local_clipboard.calls().size(), c.calls);
  }
  // Three recordings within one second: three files, none overwritten.
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"GIF2024351479-2.gif", "GIF2024351479-3.gif",
                                                   "GIF2024351479.gif"}));
}

TEST_F(RecorderTest, PacesFramesByDeadlinesWhateverTheWorkCosts) {
  Recorder& recorder = MakeRecorder();
  StopAfter(5);
  recorder.StartRecording();
  ASSERT_TRUE(messages.WaitForShown(1, milliseconds(5000)));
  recorder.Shutdown();
  const auto sleeps = clock.sleeps();
  ASSERT_EQ(sleeps.size(), 5u);
  for (std::size_t i = 1; i < sleeps.size(); ++i) {
    EXPECT_EQ(sleeps[i] - sleeps[i - 1], milliseconds(200)) << i;  // not 230
  }
}

TEST_F(RecorderTest, TheGifPlaysAsLongAsItWasRecorded) {
  // 30/s has a whole-hundredth delay of 3 for a real 3.33: the animation must
  // still last the recorded second, not 0.9 s.
  boxes.rate = "30";
  Recorder& recorder = MakeRecorder();
  StopAfter(30);
  recorder.StartRecording();
  ASSERT_TRUE(messages.WaitForShown(1, milliseconds(5000)));
  recorder.Shutdown();
  const auto gif = gif_test::WalkGif(gif_test::ReadAll(dir.path() / "GIF2024351479.gif"));
  ASSERT_TRUE(gif.valid);
  int total = 0;
  for (const auto& image : gif.images) total += image.delay;
  EXPECT_EQ(total, 100);
}

TEST_F(RecorderTest, ANegativeOrEmptyRateMeansNoPauseAndStaysStoppable) {
  for (const char* rate : {"-5", "", "abc", "0"}) {
    boxes.rate = rate;
    fake::RecordingMessages local_messages;
    fake::ManualClock local_clock;
    Recorder recorder(RecorderPorts{screen, pointer, boxes, position, canvas, local_clock,
                                    local_time, view, local_messages, clipboard,
                                    SaveLocations{{dir.path().string()}, '/'}});
    view.on_caption = [&](const std::string& c) {
      if (c == "帧数：4") recorder.StopRecording();
    };
    recorder.StartRecording();
    ASSERT_TRUE(local_messages.WaitForShown(1, milliseconds(5000))) << rate;
    recorder.Shutdown();
    const auto sleeps = local_clock.sleeps();
    ASSERT_EQ(sleeps.size(), 4u) << rate;
    EXPECT_EQ(sleeps.front(), sleeps.back()) << rate;  // never waited
  }
}

TEST_F(RecorderTest, OnlyOneRecordingRunsAtATime) {
  Recorder& recorder = MakeRecorder();
  view.on_caption = [&](const std::string& caption) {
    if (caption == "帧数：2") {
      recorder.StartRecording();  // F7 again: refused
      recorder.StartRecording();
    }
    if (caption == "帧数：4") recorder.StopRecording();
  };
  recorder.StartRecording();
  ASSERT_TRUE(messages.WaitForShown(1, milliseconds(5000)));
  recorder.Shutdown();
  EXPECT_EQ(FrameCaptions().size(), 4u);
  EXPECT_EQ(dir.Files().size(), 1u);
}

TEST_F(RecorderTest, AStopDuringTheStartTakesEffectAfterOneFrame) {
  Recorder& recorder = MakeRecorder();
  view.on_record_enabled = [&](bool enabled) {
    if (!enabled) recorder.StopRecording();  // F8 while the recorder is still starting
  };
  recorder.StartRecording();
  ASSERT_TRUE(messages.WaitForShown(1, milliseconds(5000)));
  recorder.Shutdown();
  EXPECT_EQ(FrameCaptions(), std::vector<std::string>{"帧数：1"});
}

TEST_F(RecorderTest, SizesThatCannotBeRecordedAreRefusedWithAMessage) {
  const struct {
    const char *width, *height;
  } cases[] = {{"0", "250"}, {"350", "-5"}, {"", "250"}, {"abc", "abc"},
               {"40000", "10"}, {"9000", "9000"}};
  Recorder& recorder = MakeRecorder();
  std::size_t shown = 0;
  for (const auto& c : cases) {
    boxes.width = c.width;
    boxes.height = c.height;
    recorder.StartRecording();
    ASSERT_TRUE(messages.WaitForShown(++shown, milliseconds(5000))) << c.width << "x" << c.height;
    EXPECT_TRUE(messages.shown().back().text.starts_with(kBadSizeMessage)) << c.width;
    // The next start request is accepted again once the refusal is done.
    while (recorder.IsRecording()) std::this_thread::yield();
  }
  recorder.Shutdown();
  EXPECT_TRUE(FrameCaptions().empty());
  EXPECT_TRUE(dir.Files().empty());
  EXPECT_EQ(view.record_enabled().back(), true);
  EXPECT_EQ(view.captions().back(), kMainWindowTitle);
}

TEST(RecordableSize, CoversTheCanvasRange) {
  EXPECT_TRUE(IsRecordableSize(1, 1));
  EXPECT_TRUE(IsRecordableSize(32627, 2000));
  EXPECT_TRUE(IsRecordableSize(8192, 8192));
  EXPECT_FALSE(IsRecordableSize(0, 5));
  EXPECT_FALSE(IsRecordableSize(5, -1));
  EXPECT_FALSE(IsRecordableSize(32628, 1));
  EXPECT_FALSE(IsRecordableSize(8193, 8192));
}

TEST_F(RecorderTest, StopWithoutARecordingChangesNothing) {
  Recorder& recorder = MakeRecorder();
  recorder.StopRecording();
  recorder.Shutdown();
  EXPECT_TRUE(view.captions().empty());
  EXPECT_TRUE(dir.Files().empty());
}

TEST_F(RecorderTest, AnUnwritableFolderFallsBackAndSaysWhere) {
  TempDir fallback;
  Recorder& recorder =
      MakeRecorder({(dir.path() / "missing" / "folder").string(), fallback.path().string()});
  StopAfter(1);
  recorder.StartRecording();
  ASSERT_TRUE(messages.WaitForShown(1, milliseconds(5000)));
  recorder.Shutdown();
  EXPECT_EQ(fallback.Files(), std::vector<std::string>{"GIF2024351479.gif"});
  const std::string text = messages.shown()[0].text;
  EXPECT_TRUE(text.starts_with(kSavedCopiedMessage)) << text;
  EXPECT_NE(text.find((fallback.path() / "GIF2024351479.gif").string()), std::string::npos) << text;
}

// The program's folder deleted while recording: the frames grew elsewhere, so
// the recording is saved in the fallback, and the message blames nobody else.
TEST_F(RecorderTest, AFolderDeletedDuringTheRecordingSavesInTheFallback) {
  TempDir fallback;
  const fs::path program = dir.path() / "program";
  fs::create_directories(program);
  Recorder& recorder = MakeRecorder({program.string(), fallback.path().string()});
  const std::string prefix(kFrameCountCaptionPrefix);
  view.on_caption = [&](const std::string& caption) {
    if (caption == prefix + "2") fs::remove_all(program);
    if (caption == prefix + "3") recorder_->StopRecording();
  };
  recorder.StartRecording();
  ASSERT_TRUE(messages.WaitForShown(1, milliseconds(5000)));
  recorder.Shutdown();
  EXPECT_FALSE(fs::exists(program));
  EXPECT_EQ(fallback.Files(), std::vector<std::string>{"GIF2024351479.gif"});
  const std::string text = messages.shown()[0].text;
  EXPECT_TRUE(text.starts_with(kSavedCopiedMessage)) << text;
  EXPECT_NE(text.find((fallback.path() / "GIF2024351479.gif").string()), std::string::npos) << text;
}

TEST_F(RecorderTest, ASaveThatFailsEverywhereIsReported) {
  Recorder& recorder = MakeRecorder({(dir.path() / "missing").string()});
  StopAfter(1);
  recorder.StartRecording();
  ASSERT_TRUE(messages.WaitForShown(1, milliseconds(5000)));
  recorder.Shutdown();
  EXPECT_TRUE(messages.shown()[0].text.starts_with(kSaveFailedMessage));
  EXPECT_TRUE(clipboard.calls().empty());
  EXPECT_EQ(view.captions().back(), kMainWindowTitle);
  EXPECT_EQ(view.record_enabled().back(), true);
}

TEST_F(RecorderTest, ClosingDuringARecordingSavesNothingAndLeavesNoFile) {
  Recorder& recorder = MakeRecorder();
  std::atomic<int> frames{0};
  view.on_caption = [&](const std::string&) { ++frames; };
  recorder.StartRecording();
  while (frames.load() < 3) std::this_thread::yield();
  recorder.Shutdown();
  EXPECT_TRUE(dir.Files().empty());
  EXPECT_TRUE(messages.shown().empty());
}

TEST_F(RecorderTest, ClosingWhileTheOutcomeBoxIsOpenReturns) {
  messages.HoldOpen(true);
  Recorder& recorder = MakeRecorder();
  StopAfter(1);
  recorder.StartRecording();
  ASSERT_TRUE(messages.WaitForShown(1, milliseconds(5000)));
  recorder.Shutdown();  // must not hang on the open box
  EXPECT_EQ(dir.Files().size(), 1u);  // the file was saved before the box
}

}  // namespace
}  // namespace orvamy
