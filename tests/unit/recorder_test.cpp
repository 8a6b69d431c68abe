#include "record/recorder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <new>
#include <system_error>
#include <thread>
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
               {30, 3, 33333},  {50, 2, 20000},     {51, 1, 20000},  {100, 1, 20000},
               {101, 0, 20000}, {1000, 0, 20000},   {0, 0, 20000},   {-5, 0, 20000}};
  // Captures are never closer than the GIF's shortest frame (2/100 s): faster
  // rates and "no pause" capture every 20 ms.
  for (const auto& c : cases) {
    EXPECT_EQ(FrameDelayForRate(c.fps), c.delay) << c.fps;
    EXPECT_EQ(FrameIntervalMicrosForRate(c.fps), c.interval_us) << c.fps;
  }
}

using TempDir = gif_test::ScratchDir;  // a folder of its own per test, removed afterwards

// Polls for `done` for up to 5 s (a fault shows as a failure, not a hang).
bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 5000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return done();
}

// Capturing costs 30 ms of (manual) time, so pacing by deadlines can be seen.
class SlowScreen final : public ScreenSource {
 public:
  SlowScreen(fake::ManualClock& clock) : clock_(clock) {}
  ByteArray CaptureScreenRect(std::int32_t x, std::int32_t y, std::int32_t w,
                              std::int32_t h) override {
    return inner_.CaptureScreenRect(x, y, w, h);
  }
  bool CapturePixelsInto(Picture& into, ScreenRect rect) override {
    clock_.Advance(milliseconds(30));
    return inner_.CapturePixelsInto(into, rect);
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
  ASSERT_EQ(sleeps.size(), 4u);  // none after the stop
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

TEST_F(RecorderTest, TheLastFrameLastsUntilTheStopNotAWholeIntervalMore) {
  // Rate 1: frames at 0 s and 1 s (each capture costs 30 ms), the stop at
  // 1.25 s. The GIF plays 1.25 s, not 2 s.
  boxes.rate = "1";
  clock.HoldSleeps(true);
  Recorder& recorder = MakeRecorder();
  recorder.StartRecording();
  ASSERT_TRUE(Eventually([&] { return clock.sleeps().size() >= 1; }));
  pointer.MoveTo({200, 150});        // a different second picture
  clock.Advance(milliseconds(970));  // to the second frame's deadline
  ASSERT_TRUE(Eventually([&] { return clock.sleeps().size() >= 2; }));
  clock.Advance(milliseconds(220));
  recorder.StopRecording();
  ASSERT_TRUE(messages.WaitForShown(1, milliseconds(5000)));
  recorder.Shutdown();
  const auto gif = gif_test::WalkGif(gif_test::ReadAll(dir.path() / "GIF2024351479.gif"));
  ASSERT_TRUE(gif.valid);
  ASSERT_EQ(gif.images.size(), 2u);
  EXPECT_EQ(gif.images[0].delay, 100);
  EXPECT_EQ(gif.images[1].delay, 25);
}

TEST_F(RecorderTest, NoPauseCapturesEvery20MsAndStaysStoppable) {
  for (const char* rate : {"-5", "", "abc", "0", "60", "1000"}) {
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
    ASSERT_EQ(sleeps.size(), 3u) << rate;
    for (std::size_t i = 1; i < sleeps.size(); ++i) {
      // Shorter frames would be merged by the GIF anyway; capturing them only costs.
      EXPECT_EQ(sleeps[i] - sleeps[i - 1], milliseconds(20)) << rate;
    }
  }
}

// The user types while each frame is being read: every capture changes the
// width and the rate boxes together. A frame's size and its interval must
// still come from one reading of the boxes, taken before the capture.
class TypingScreen final : public ScreenSource {
 public:
  explicit TypingScreen(fake::ParameterBoxesStub& boxes) : boxes_(boxes) {}
  ByteArray CaptureScreenRect(std::int32_t x, std::int32_t y, std::int32_t w,
                              std::int32_t h) override {
    return inner_.CaptureScreenRect(x, y, w, h);
  }
  bool CapturePixelsInto(Picture& into, ScreenRect rect) override {
    widths_.push_back(rect.width);
    const bool wide = boxes_.width == "40";
    boxes_.width = wide ? "50" : "40";
    boxes_.rate = wide ? "25" : "10";
    return inner_.CapturePixelsInto(into, rect);
  }
  // Called once the recording has ended.
  const std::vector<std::int32_t>& widths() const { return widths_; }

 private:
  fake::ParameterBoxesStub& boxes_;
  std::vector<std::int32_t> widths_;
  fake::SyntheticScreen inner_{640, 480, 32};
};

TEST_F(RecorderTest, EachFramesSizeAndIntervalComeFromOneReadingOfTheBoxes) {
  boxes.width = "40";
  boxes.rate = "10";
  TypingScreen typing(boxes);
  fake::ManualClock local_clock;
  Recorder recorder(RecorderPorts{typing, pointer, boxes, position, canvas, local_clock,
                                  local_time, view, messages, clipboard,
                                  SaveLocations{{dir.path().string()}, '/'}});
  view.on_caption = [&](const std::string& c) {
    if (c == "帧数：5") recorder.StopRecording();
  };
  recorder.StartRecording();
  ASSERT_TRUE(messages.WaitForShown(1, milliseconds(5000)));
  recorder.Shutdown();
  const auto sleeps = local_clock.sleeps();
  const auto& widths = typing.widths();
  ASSERT_EQ(widths.size(), 5u);
  ASSERT_EQ(sleeps.size(), 4u);  // none after the frame that saw the stop
  fake::ManualClock::TimePoint previous{};  // the recording began at the clock's zero
  for (std::size_t i = 0; i < sleeps.size(); ++i) {
    // 40 wide was read with rate 10 (100 ms), 50 wide with rate 25 (40 ms).
    const auto expected = widths[i] == 40 ? milliseconds(100) : milliseconds(40);
    EXPECT_EQ(sleeps[i] - previous, expected) << "frame " << i + 1 << ", " << widths[i] << " wide";
    previous = sleeps[i];
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
    ASSERT_TRUE(Eventually([&] { return !recorder.IsRecording(); }));
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
  ASSERT_TRUE(Eventually([&] { return frames.load() >= 3; }));
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

// Counts the captures in progress at once: more than one means two frame
// loops share the canvas. Each capture gives other threads a chance to run.
class OverlapScreen final : public ScreenSource {
 public:
  ByteArray CaptureScreenRect(std::int32_t x, std::int32_t y, std::int32_t w,
                              std::int32_t h) override {
    return inner_.CaptureScreenRect(x, y, w, h);
  }
  bool CapturePixelsInto(Picture& into, ScreenRect rect) override {
    const int now = ++in_flight_;
    int seen = most_.load();
    while (now > seen && !most_.compare_exchange_weak(seen, now)) {
    }
    std::this_thread::yield();
    const bool captured = inner_.CapturePixelsInto(into, rect);
    --in_flight_;
    return captured;
  }
  int most_at_once() const { return most_.load(); }

 private:
  std::atomic<int> in_flight_{0}, most_{0};
  fake::SyntheticScreen inner_{640, 480, 32};
};

// A new second for every file name, so a thousand recordings need no "-n".
class CountingLocalTime final : public LocalTimeSource {
 public:
  LocalTime NowLocal() override {
    const int n = next_++;
    return LocalTime{2024, 3, 5, n / 3600, n / 60 % 60, n % 60};
  }

 private:
  std::atomic<int> next_{0};
};

// Rounds of the F8-then-F7 race: 1,000 by default; ORVAMY_RACE_ROUNDS sets
// fewer where threads are slow to start (the Windows tests run under Wine).
int RaceRounds() {
  const char* text = std::getenv("ORVAMY_RACE_ROUNDS");
  const int rounds = text ? std::atoi(text) : 0;
  return rounds > 0 ? rounds : 1000;
}

// Waits until `count` reaches `target`; false after two minutes (a fault
// shows as a failure, not a hang).
bool ReachesWithin2Minutes(const std::atomic<int>& count, int target) {
  for (int i = 0; i < 120'000 && count.load() < target; ++i) {
    std::this_thread::sleep_for(milliseconds(1));
  }
  return count.load() >= target;
}

TEST_F(RecorderTest, F8ThenF7WithinOneIntervalNeverRunsTwoRecordersAndSavesEachOnce) {
  // Rate 1 and a clock whose sleeps last until woken: every F8 finds the
  // frame loop asleep in the middle of its interval, and F7 follows at once.
  boxes.rate = "1";
  clock.HoldSleeps(true);
  OverlapScreen overlap;
  CountingLocalTime stamps;
  Recorder recorder(RecorderPorts{overlap, pointer, boxes, position, canvas, clock, stamps, view,
                                  messages, clipboard, SaveLocations{{dir.path().string()}, '/'}});
  std::atomic<int> first_frames{0};
  view.on_caption = [&](const std::string& caption) {
    if (caption == "帧数：1") ++first_frames;
  };
  const int kRounds = RaceRounds();
  recorder.StartRecording();
  for (int round = 1; round < kRounds; ++round) {
    ASSERT_TRUE(ReachesWithin2Minutes(first_frames, round)) << "round " << round;
    recorder.StopRecording();   // F8
    recorder.StartRecording();  // F7 within the same interval: a new recording
  }
  ASSERT_TRUE(ReachesWithin2Minutes(first_frames, kRounds));
  recorder.StopRecording();
  ASSERT_TRUE(messages.WaitForShown(kRounds, milliseconds(120'000)));
  recorder.Shutdown();

  EXPECT_EQ(overlap.most_at_once(), 1);
  EXPECT_EQ(FrameCaptions().size(), static_cast<std::size_t>(kRounds));  // one frame each
  EXPECT_EQ(dir.Files().size(), static_cast<std::size_t>(kRounds));      // each saved once
  const auto shown = messages.shown();
  EXPECT_EQ(shown.size(), static_cast<std::size_t>(kRounds));
  for (const auto& box : shown) EXPECT_EQ(box.text, kSavedCopiedMessage);
  EXPECT_EQ(view.captions().back(), kMainWindowTitle);
  EXPECT_EQ(view.record_enabled().back(), true);
  EXPECT_FALSE(recorder.IsRecording());
}

TEST_F(RecorderTest, AStopWakesTheSleepingFrameLoop) {
  // Rate 1 and time that never moves: only the stop can end the sleep.
  boxes.rate = "1";
  clock.HoldSleeps(true);
  Recorder& recorder = MakeRecorder();
  recorder.StartRecording();
  ASSERT_TRUE(Eventually([&] { return !clock.sleeps().empty(); }));
  recorder.StopRecording();
  ASSERT_TRUE(messages.WaitForShown(1, milliseconds(5000)));
  recorder.Shutdown();
  EXPECT_EQ(FrameCaptions(), std::vector<std::string>{"帧数：1"});
  EXPECT_EQ(dir.Files().size(), 1u);
}

// Throws from inside the frame loop, as starting the encoder's threads or a
// large allocation can.
class ThrowingScreen final : public ScreenSource {
 public:
  std::function<void()> fault;  // thrown from the next capture when set
  ByteArray CaptureScreenRect(std::int32_t x, std::int32_t y, std::int32_t w,
                              std::int32_t h) override {
    return inner_.CaptureScreenRect(x, y, w, h);
  }
  bool CapturePixelsInto(Picture& into, ScreenRect rect) override {
    if (fault) fault();
    return inner_.CapturePixelsInto(into, rect);
  }

 private:
  fake::SyntheticScreen inner_{640, 480, 32};
};

TEST_F(RecorderTest, AnExceptionOnTheRecorderThreadIsReportedAndLosesNothingElse) {
  const struct {
    const char* name;
    std::function<void()> fault;
    std::string_view reason;
  } cases[] = {
      {"system_error",
       [] { throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                    "cannot start a thread"); },
       "cannot start a thread"},
      {"bad_alloc", [] { throw std::bad_alloc(); }, "bad_alloc"},
      {"not an exception", [] { throw 42; }, "unknown error"},
  };
  for (const auto& c : cases) {
    ThrowingScreen throwing;
    fake::RecordingMessages local_messages;
    fake::RecordingView local_view;
    Recorder recorder(RecorderPorts{throwing, pointer, boxes, position, canvas, clock, local_time,
                                    local_view, local_messages, clipboard,
                                    SaveLocations{{dir.path().string()}, '/'}});
    throwing.fault = c.fault;
    local_view.on_caption = [&](const std::string& caption) {
      if (caption.starts_with(kFrameCountCaptionPrefix)) recorder.StopRecording();
    };
    recorder.StartRecording();
    ASSERT_TRUE(local_messages.WaitForShown(1, milliseconds(5000))) << c.name;
    const std::string text = local_messages.shown()[0].text;
    EXPECT_TRUE(text.starts_with(kRecordingFailedMessage)) << text;
    EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    EXPECT_FALSE(recorder.IsRecording()) << c.name;
    EXPECT_TRUE(dir.Files().empty()) << c.name;  // the temporary file went with the maker
    // The button comes back once the box is done.
    ASSERT_TRUE(Eventually([&] { return local_view.record_enabled().size() == 2; })) << c.name;

    // The recorder is usable again.
    throwing.fault = nullptr;
    recorder.StartRecording();
    ASSERT_TRUE(local_messages.WaitForShown(2, milliseconds(5000))) << c.name;
    recorder.Shutdown();
    EXPECT_EQ(local_messages.shown()[1].text, kSavedCopiedMessage) << c.name;
    // The button came back after the failure, and again after the good recording.
    EXPECT_EQ(local_view.record_enabled(), (std::vector<bool>{false, true, false, true})) << c.name;
    for (const auto& file : dir.Files()) fs::remove(dir.path() / file);
  }
}

TEST_F(RecorderTest, StopAndSaveQuietlySavesWithoutABox) {
  // Asleep at rate 1 when the end is asked for: the stop must wake it.
  boxes.rate = "1";
  clock.HoldSleeps(true);
  Recorder& recorder = MakeRecorder();
  recorder.StartRecording();
  ASSERT_TRUE(Eventually([&] { return !clock.sleeps().empty(); }));
  recorder.StopAndSaveQuietly();  // returns once the file is written

  EXPECT_EQ(dir.Files(), std::vector<std::string>{"GIF2024351479.gif"});
  EXPECT_TRUE(gif_test::WalkGif(gif_test::ReadAll(dir.path() / "GIF2024351479.gif")).valid);
  EXPECT_TRUE(messages.shown().empty());
  EXPECT_TRUE(clipboard.calls().empty());
  EXPECT_FALSE(recorder.IsRecording());
  recorder.Shutdown();
}

TEST_F(RecorderTest, StopAndSaveQuietlyWithNothingRecordingClosesOpenBoxes) {
  messages.HoldOpen(true);
  Recorder& recorder = MakeRecorder();
  StopAfter(1);
  recorder.StartRecording();
  ASSERT_TRUE(messages.WaitForShown(1, milliseconds(5000)));
  recorder.StopAndSaveQuietly();  // must not hang on the box the earlier recording left open
  EXPECT_EQ(dir.Files().size(), 1u);
  recorder.Shutdown();
}

}  // namespace
}  // namespace orvamy
