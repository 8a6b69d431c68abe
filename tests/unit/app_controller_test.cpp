#include "app/app_controller.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "form/main_window_layout.h"
#include "platform/fake/fake_platform.h"

namespace orvamy {
namespace {

class AppControllerTest : public testing::Test {
 protected:
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
                             SaveLocations{{std::filesystem::temp_directory_path().string()},
                                           '/'}}};
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

}  // namespace
}  // namespace orvamy
