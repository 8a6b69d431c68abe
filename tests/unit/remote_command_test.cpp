#include "app/remote_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "app/app_controller.h"
#include "form/main_window_layout.h"
#include "gif_test_support.h"
#include "platform/fake/fake_platform.h"

namespace orvamy {
namespace {

using Maybe = std::optional<RemoteCommand>;

TEST(RemoteCommand, OptionsAndLinesAreReadExactly) {
  const struct {
    const char* text;
    Maybe as_option;
    Maybe as_line;
  } cases[] = {
      {"--start", RemoteCommand::kStart, std::nullopt},
      {"--stop", RemoteCommand::kStop, std::nullopt},
      {"--toggle", RemoteCommand::kToggle, std::nullopt},
      {"start", std::nullopt, RemoteCommand::kStart},
      {"stop\n", std::nullopt, RemoteCommand::kStop},
      {"toggle\r\n", std::nullopt, RemoteCommand::kToggle},
      {"-start", std::nullopt, std::nullopt},
      {"--Start", std::nullopt, std::nullopt},
      {"--start=1", std::nullopt, std::nullopt},
      {"start now", std::nullopt, std::nullopt},
      {" stop", std::nullopt, std::nullopt},
      {"stop\n\n", std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt},
      {"--", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(RemoteCommandFromOption(c.text), c.as_option);
    EXPECT_EQ(ParseRemoteCommandLine(c.text), c.as_line);
  }
  for (const auto command : {RemoteCommand::kStart, RemoteCommand::kStop, RemoteCommand::kToggle}) {
    EXPECT_EQ(ParseRemoteCommandLine(RemoteCommandWord(command)), command);
    EXPECT_EQ(RemoteCommandFromOption("--" + std::string(RemoteCommandWord(command))), command);
  }
}

class RemoteCommandAppTest : public testing::Test {
 protected:
  gif_test::ScratchDir dir;
  fake::SyntheticScreen screen{640, 480, 32};
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

TEST_F(RemoteCommandAppTest, CommandsDriveTheRecorderAsTheButtonsDo) {
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

TEST_F(RemoteCommandAppTest, NothingStartsOnceTheWindowIsClosing) {
  app.OnWindowClosing();
  EXPECT_EQ(app.OnRemoteCommand(RemoteCommand::kStart), kRemoteAnswerIdle);
  EXPECT_EQ(app.OnRemoteCommand(RemoteCommand::kToggle), kRemoteAnswerIdle);
  EXPECT_FALSE(app.IsRecording());
  EXPECT_TRUE(dir.Files().empty());
}

TEST_F(RemoteCommandAppTest, ADesktopWithoutGlobalKeysIsToldHowToBindThem) {
  hotkeys.refused_keys = {Key::kF7, Key::kF8};
  app.UseCommandsForHotkeys();
  app.OnWindowCreated();
  app.OnWindowShown();
  ASSERT_EQ(messages.shown().size(), 1u);
  EXPECT_EQ(messages.shown()[0].text, kHotkeysByCommandText);
}

}  // namespace
}  // namespace orvamy
