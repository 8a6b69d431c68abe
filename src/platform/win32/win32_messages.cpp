#include "platform/win32/win32_messages.h"

#include <vector>

#include "form/main_window_layout.h"
#include "platform/win32/win32_util.h"

namespace orvamy::win32 {
namespace {

bool IsMessageBox(HWND window) {
  wchar_t class_name[16] = {};
  // Message boxes are dialogs of the system class "#32770".
  return GetClassNameW(window, class_name, 16) > 0 && lstrcmpW(class_name, L"#32770") == 0;
}

BOOL CALLBACK CloseMessageBox(HWND window, LPARAM) {
  if (IsMessageBox(window)) PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return TRUE;
}

// A box being activated goes to the top of the topmost band: a window
// manager may have mapped it below the focused main window, itself topmost
// (seen under Wine with openbox).
LRESULT CALLBACK RaiseBoxOnActivation(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE && IsMessageBox(reinterpret_cast<HWND>(wparam))) {
    SetWindowPos(reinterpret_cast<HWND>(wparam), HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

// The hook above on the calling thread, for the life of one box.
class BoxRaiser {
 public:
  BoxRaiser()
      : hook_(SetWindowsHookExW(WH_CBT, RaiseBoxOnActivation, nullptr, GetCurrentThreadId())) {}
  ~BoxRaiser() {
    if (hook_) UnhookWindowsHookEx(hook_);
  }
  BoxRaiser(const BoxRaiser&) = delete;
  BoxRaiser& operator=(const BoxRaiser&) = delete;

 private:
  HHOOK hook_;
};

}  // namespace

void Win32MessagePort::ShowMessage(std::string_view text, std::string_view title) {
  const std::uint32_t thread = GetCurrentThreadId();
  {
    std::lock_guard lock(mutex_);
    ++showing_[thread];
  }
  const std::wstring wide_text = Widen(text);
  const std::wstring wide_title = Widen(title.empty() ? kDefaultMessageTitle : title);
  // Topmost so that the box is not hidden behind the main window, which is
  // normally on top itself.
  {
    const BoxRaiser raiser;
    MessageBoxW(nullptr, wide_text.c_str(), wide_title.c_str(),
                MB_OK | MB_TASKMODAL | MB_TOPMOST | MB_SETFOREGROUND);
  }
  std::lock_guard lock(mutex_);
  if (--showing_[thread] == 0) showing_.erase(thread);
}

void Win32MessagePort::DismissAll() {
  std::vector<std::uint32_t> threads;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [thread, count] : showing_) threads.push_back(thread);
  }
  for (const std::uint32_t thread : threads) {
    EnumThreadWindows(thread, CloseMessageBox, 0);
  }
  // Answer messages other threads sent to this one (PeekMessage delivers
  // them); posted messages stay queued.
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

}  // namespace orvamy::win32
