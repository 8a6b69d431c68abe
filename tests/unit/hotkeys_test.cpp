#include "hotkeys/hotkey_dispatcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <system_error>

#include "platform/fake/fake_platform.h"

namespace orvamy {
namespace {

class MockRecording : public RecordingControl {
 public:
  MOCK_METHOD(void, StartRecording, (), (override));
  MOCK_METHOD(void, StopRecording, (), (override));
};

TEST(Hotkeys, RegistersPlainF7ThenF8AndDispatchesTheirIdentifiers) {
  testing::StrictMock<MockRecording> recorder;
  fake::ScriptedHotkeys registrar;
  HotkeyDispatcher hotkeys(recorder);
  hotkeys.RegisterKeys(registrar);
  EXPECT_EQ(registrar.registered, (std::vector<std::pair<Modifiers, Key>>{
                                     {Modifiers::kNone, Key::kF7}, {Modifiers::kNone, Key::kF8}}));
  EXPECT_EQ(hotkeys.start_id(), 33001);
  EXPECT_EQ(hotkeys.stop_id(), 33002);

  EXPECT_CALL(recorder, StartRecording()).Times(2);  // every press (auto-repeat too) asks
  hotkeys.OnHotkey(33001);
  hotkeys.OnHotkey(33001);
  EXPECT_CALL(recorder, StopRecording()).Times(1);
  hotkeys.OnHotkey(33002);
  hotkeys.OnHotkey(4711);  // unknown: nothing
}

TEST(Hotkeys, ARefusedKeyDoesNothingAndTheOtherStillWorks) {
  testing::StrictMock<MockRecording> recorder;
  fake::ScriptedHotkeys registrar;
  registrar.refused_keys = {Key::kF7};
  HotkeyDispatcher hotkeys(recorder);
  hotkeys.RegisterKeys(registrar);
  EXPECT_EQ(hotkeys.start_id(), 0);
  hotkeys.OnHotkey(0);
  EXPECT_CALL(recorder, StopRecording()).Times(1);
  hotkeys.OnHotkey(hotkeys.stop_id());
}

TEST(Hotkeys, F8StopsDirectlyWhenNoThreadCanBeStarted) {
  testing::StrictMock<MockRecording> recorder;
  fake::ScriptedHotkeys registrar;
  HotkeyDispatcher hotkeys(recorder, [](std::function<void()>) -> std::thread {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  });
  hotkeys.RegisterKeys(registrar);
  EXPECT_CALL(recorder, StopRecording()).Times(1);  // on this thread, before OnHotkey returns
  hotkeys.OnHotkey(hotkeys.stop_id());
  testing::Mock::VerifyAndClearExpectations(&recorder);
}

}  // namespace
}  // namespace orvamy
