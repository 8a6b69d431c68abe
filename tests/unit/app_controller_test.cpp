#include "app/app_controller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "form/main_window_layout.h"
#include "gif_test_support.h"
#include "platform/fake/fake_platform.h"

namespace orvamy {
namespace {

class AppControllerTest : public testing::Test {
 protected:
  gif_test::ScratchDir dir;  // recordings land here
  fake::SyntheticScreen screen{1920, 1080, 32};
  fake::ScriptedPointer pointer;
  fake::ManualClock clock;
  fake::FixedLocalTime local_time{{2024, 3, 5, 14, 7, 9}};
  fake::RecordingView recorder_view;
  fake::RecordingMessages messages;
  fake::ScriptedClipboard clipboard;
  fake::ScriptedHotkeys hotkeys;
  fake::RecordingPreviewWindow preview_window;
  fake::RecordingTimer timer;
  fake::RecordingWindow window;
  AppController app{AppPorts{screen, pointer, clock, local_time, recorder_view, messages,
                             clipboard, hotkeys, preview_window, timer, window,
                             SaveLocations{{dir.path().string()}, '/'}}};

  // Waits until the recorder has saved and reported `count` recordings.
  void ExpectSaved(std::size_t count) {
    ASSERT_TRUE(messages.WaitForShown(count, std::chrono::milliseconds(60'000)));
    for (int i = 0; i < 60'000 && app.IsRecording(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(app.IsRecording());
    EXPECT_EQ(messages.shown().size(), count);
  }
};

TEST_F(AppControllerTest, StartsOnTopWithBothHotKeysRegistered) {
  app.OnWindowCreated();
  EXPECT_EQ(window.on_top_calls, std::vector<bool>{true});
  EXPECT_EQ(app.hotkeys().start_id(), 33001);
  EXPECT_EQ(app.hotkeys().stop_id(), 33002);
  app.OnAlwaysOnTopClicked(false);
  app.OnAlwaysOnTopClicked(true);
  EXPECT_EQ(window.on_top_calls, (std::vector<bool>{true, false, true}));
}

TEST_F(AppControllerTest, TakenHotKeysAreToldOnceAndStayAsTheSystemLeftThem) {
  const struct {
    std::vector<Key> refused;
    bool told;
  } cases[] = {
      {{}, false},
      {{Key::kF7}, true},
      {{Key::kF8}, true},
      {{Key::kF7, Key::kF8}, true},
  };
  for (const auto& c : cases) {
    fake::ScriptedHotkeys keys;
    keys.refused_keys = c.refused;
    fake::RecordingMessages shown;
    AppController second{AppPorts{screen, pointer, clock, local_time, recorder_view, shown,
                                  clipboard, keys, preview_window, timer, window,
                                  SaveLocations{{"."}, '/'}}};
    second.OnWindowCreated();
    second.OnWindowShown();
    second.OnWindowShown();
    SCOPED_TRACE(c.refused.size());
    ASSERT_EQ(shown.shown().size(), c.told ? 1u : 0u);
    if (c.told) {
      EXPECT_EQ(shown.shown()[0].text, kHotkeysTakenText);
      EXPECT_EQ(shown.shown()[0].title, kDefaultMessageTitle);
    }
    EXPECT_EQ(keys.registered.size(), 2u) << "each key is asked for once, never again";
    EXPECT_EQ(second.hotkeys().start_id() != 0, c.refused.empty() || c.refused[0] != Key::kF7);
  }
}

TEST_F(AppControllerTest, TheModelStartsWithTheFormsTexts) {
  EXPECT_EQ(app.model().WidthText(), "350");
  EXPECT_EQ(app.model().HeightText(), "250");
  EXPECT_EQ(app.model().RateText(), "5");
  EXPECT_TRUE(app.model().MarkerTicked());
}

TEST_F(AppControllerTest, WheelRewritesTheBoxAndTheModel) {
  app.OnWheel(120, Modifiers::kCtrl);
  EXPECT_EQ(window.height_texts, std::vector<std::string>{"265"});
  EXPECT_EQ(app.model().HeightText(), "265");
  app.OnWheel(-120, Modifiers::kAlt);
  EXPECT_EQ(window.width_texts, std::vector<std::string>{"335"});
  app.OnWheel(240, Modifiers::kCtrl);  // two notches at once: nothing
  app.OnWheel(60, Modifiers::kAlt);   // part of a notch: nothing
  EXPECT_EQ(window.height_texts.size(), 1u);
  EXPECT_EQ(window.width_texts.size(), 1u);
}

TEST_F(AppControllerTest, AboutShowsItsBox) {
  app.OnAboutClicked();
  ASSERT_EQ(messages.shown().size(), 1u);
  EXPECT_EQ(messages.shown()[0].text, kAboutText);
  EXPECT_EQ(messages.shown()[0].title, kAboutTitle);
}

TEST_F(AppControllerTest, ClosingSwitchesThePreviewOffAndEndsTheRecording) {
  app.OnPreviewClicked(true, 3, "15%");
  EXPECT_TRUE(preview_window.open);
  app.OnRecordClicked();
  app.OnWindowClosing();
  EXPECT_FALSE(preview_window.open);
  EXPECT_FALSE(app.IsRecording());
  EXPECT_TRUE(messages.shown().empty());  // nothing saved, nothing reported
}

TEST_F(AppControllerTest, CommandsDriveTheRecorderAsTheButtonsDo) {
  // A stop with nothing running changes nothing.
  EXPECT_EQ(app.OnRemoteCommand(RemoteCommand::kStop), kRemoteAnswerIdle);
  EXPECT_TRUE(messages.shown().empty());

  // Toggle starts, toggle stops and saves.
  EXPECT_EQ(app.OnRemoteCommand(RemoteCommand::kToggle), kRemoteAnswerRecording);
  EXPECT_EQ(app.OnRemoteCommand(RemoteCommand::kToggle), kRemoteAnswerIdle);
  ExpectSaved(1);

  // A second start while recording is refused: still one recording.
  EXPECT_EQ(app.OnRemoteCommand(RemoteCommand::kStart), kRemoteAnswerRecording);
  EXPECT_EQ(app.OnRemoteCommand(RemoteCommand::kStart), kRemoteAnswerRecording);
  EXPECT_EQ(app.OnRemoteCommand(RemoteCommand::kStop), kRemoteAnswerIdle);
  ExpectSaved(2);
  EXPECT_EQ(dir.Files().size(), 2u);
  for (const auto& box : messages.shown()) EXPECT_EQ(box.text, kSavedCopiedMessage);
}

TEST_F(AppControllerTest, NothingStartsOnceTheWindowIsClosing) {
  app.OnWindowClosing();
  EXPECT_EQ(app.OnRemoteCommand(RemoteCommand::kStart), kRemoteAnswerIdle);
  EXPECT_EQ(app.OnRemoteCommand(RemoteCommand::kToggle), kRemoteAnswerIdle);
  EXPECT_FALSE(app.IsRecording());
  EXPECT_TRUE(dir.Files().empty());
}

TEST_F(AppControllerTest, ADesktopWithoutGlobalKeysIsToldHowToBindThem) {
  hotkeys.refused_keys = {Key::kF7, Key::kF8};
  app.UseCommandsForHotkeys();
  app.OnWindowCreated();
  app.OnWindowShown();
  ASSERT_EQ(messages.shown().size(), 1u);
  EXPECT_EQ(messages.shown()[0].text, kHotkeysByCommandText);
}

TEST_F(AppControllerTest, WhenTheDesktopEndsTheSharingTheRecordingIsSavedAndStartsOnlyTellWhy) {
  app.OnWindowCreated();
  app.OnRecordClicked();
  ASSERT_TRUE(app.IsRecording());
  app.OnScreenSharingEnded();
  app.OnScreenSharingEnded();  // told once, however often the desktop says so
  ExpectSaved(2);
  EXPECT_EQ(dir.Files().size(), 1u) << "what was recorded before is kept";
  const auto told = [this] {
    std::size_t count = 0;
    for (const auto& box : messages.shown()) count += box.text == kScreenSharingEndedText;
    return count;
  };
  EXPECT_EQ(told(), 1u);

  // The button and the key only repeat the reason; a command is answered at
  // once (its sender waits) and leaves the telling to the back end. Nothing
  // runs, nothing more is saved.
  app.OnRecordClicked();
  app.OnHotkey(app.hotkeys().start_id());
  EXPECT_EQ(app.OnRemoteCommand(RemoteCommand::kStart), kRemoteAnswerUnavailable);
  EXPECT_EQ(app.OnRemoteCommand(RemoteCommand::kToggle), kRemoteAnswerUnavailable);
  EXPECT_EQ(app.OnRemoteCommand(RemoteCommand::kStop), kRemoteAnswerIdle);
  EXPECT_FALSE(app.IsRecording());
  EXPECT_EQ(told(), 3u);
  EXPECT_EQ(dir.Files().size(), 1u);
}

}  // namespace
}  // namespace orvamy
