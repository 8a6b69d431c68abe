#include "platform/win32/win32_main_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cwchar>

#include "app/wheel_sizing.h"
#include "base/text_number.h"
#include "hotkeys/hotkey_dispatcher.h"

namespace orvamy::win32 {
namespace {

constexpr UINT_PTR kPreviewTimerId = 1;
constexpr UINT_PTR kIntegerBoxSubclassId = 1;
// Control identifiers start well above IDOK and IDCANCEL, which the dialog
// keyboard handling sends for Enter and Esc.
constexpr int kFirstControlId = 100;
// The drop-down list of the opacity box opens this far below the control.
constexpr int kComboListHeight = 160;

int ControlIndex(ControlId id) {
  for (std::size_t i = 0; i < kMainWindowControls.size(); ++i) {
    if (kMainWindowControls[i].id == id) return static_cast<int>(i);
  }
  return 0;
}

UINT WindowDpi(HWND window) {
  // GetDpiForWindow exists from Windows 10 1607 on; before that the system DPI.
  using GetDpi = UINT(WINAPI*)(HWND);
  static const auto get_dpi = [] {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<GetDpi>(
                        reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")))
                  : nullptr;
  }();
  if (get_dpi && window) {
    const UINT dpi = get_dpi(window);
    if (dpi != 0) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

bool Ticked(HWND box) { return Button_GetCheck(box) == BST_CHECKED; }

Modifiers HeldModifiers() {
  Modifiers held = Modifiers::kNone;
  if (GetKeyState(VK_CONTROL) < 0) held = held | Modifiers::kCtrl;
  if (GetKeyState(VK_SHIFT) < 0) held = held | Modifiers::kShift;
  if (GetKeyState(VK_MENU) < 0) held = held | Modifiers::kAlt;
  return held;
}

BOOL CALLBACK RaiseToolWindow(HWND window, LPARAM main_window) {
  if (window == reinterpret_cast<HWND>(main_window) || !IsWindowVisible(window)) return TRUE;
  const LONG_PTR ex_style = GetWindowLongPtrW(window, GWL_EXSTYLE);
  if ((ex_style & WS_EX_TOPMOST) && (ex_style & WS_EX_TOOLWINDOW)) {
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  return TRUE;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance) : instance_(instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance_;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMainWindowClass;
  RegisterClassExW(&wc);
}

MainWindow::~MainWindow() {
  if (HWND window = window_.exchange(nullptr)) DestroyWindow(window);
}

int MainWindow::Run(AppController& controller, Win32PreviewWindow& preview, int show_command) {
  controller_ = &controller;
  preview_ = &preview;
  if (!Create(show_command)) {
    MessageBoxW(nullptr, create_failure_.c_str(), Widen(kDefaultMessageTitle).c_str(),
                MB_OK | MB_TASKMODAL);
    // Gone while the controller it reports to still exists.
    if (const HWND window = window_.load()) DestroyWindow(window);
    return -1;
  }
  MSG message{};
  BOOL got = 0;
  while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
    if (PreTranslate(message)) continue;
    const HWND window = window_.load();
    if (window && IsDialogMessageW(window, &message)) continue;  // Tab, Enter, arrows
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  // -1: the loop itself failed, and `message` holds nothing to go by.
  return got < 0 ? -1 : static_cast<int>(message.wParam);
}

bool MainWindow::Create(int show_command) {
  dpi_ = WindowDpi(nullptr);
  const int width = Scale(kMainWindowOuterWidth);
  const int height = Scale(kMainWindowOuterHeight);
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  // Sizable border, caption, system menu; no minimise or maximise button.
  const HWND window = CreateWindowExW(0, kMainWindowClass, Widen(kMainWindowTitle).c_str(),
                                      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME,
                                      left, top, width, height, nullptr, nullptr, instance_, this);
  if (!window) {
    create_failure_ = L"无法创建主窗口。";
    return false;
  }
  const UINT window_dpi = WindowDpi(window);
  if (window_dpi != dpi_) {  // the window landed on a monitor of another scale
    dpi_ = window_dpi;
    SetWindowPos(window, nullptr, 0, 0, Scale(kMainWindowOuterWidth),
                 Scale(kMainWindowOuterHeight), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (!CreateControls()) return false;
  preview_->SetNotifyWindow(window);
  controller_->OnWindowCreated();
  ShowWindow(window, show_command);
  UpdateWindow(window);
  PostMessageW(window, kWindowShownMessage, 0, 0);
  return true;
}

bool MainWindow::CreateControls() {
  const HWND window = window_.load();
  for (std::size_t i = 0; i < kMainWindowControls.size(); ++i) {
    const ControlSpec& row = kMainWindowControls[i];
    const wchar_t* class_name = nullptr;
    // The form lets some controls overlap (a check box reaches 8 px under
    // the label or check box beside it). Clipping siblings makes each control
    // paint only where no control created before it lies, so a check box's
    // background never covers its neighbour's text or tick.
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    DWORD ex_style = 0;
    switch (row.kind) {
      case ControlKind::Label:
        class_name = L"STATIC";
        style |= SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX;
        break;
      case ControlKind::EditBox:
        class_name = L"EDIT";
        style |= ES_LEFT | ES_AUTOHSCROLL;
        ex_style = WS_EX_CLIENTEDGE;
        break;
      case ControlKind::CheckBox:
        class_name = L"BUTTON";
        style |= BS_AUTOCHECKBOX | BS_LEFT | BS_VCENTER;
        break;
      case ControlKind::ComboBox:
        class_name = L"COMBOBOX";
        style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL;
        break;
      case ControlKind::Button:
        class_name = L"BUTTON";
        style |= BS_PUSHBUTTON | BS_CENTER | BS_VCENTER;
        break;
      case ControlKind::GroupBox:
        class_name = L"BUTTON";
        style |= BS_GROUPBOX;
        break;
      case ControlKind::DrawPanel:
        // Only the template of the frame canvas, which lives in memory; it
        // sits beyond the client area's right edge and is never drawn on.
        class_name = L"STATIC";
        break;
      case ControlKind::Timer:
        continue;  // a Win32 timer of the window, not a control
    }
    if (row.tab_stop) style |= WS_TABSTOP;
    const HWND control =
        CreateWindowExW(ex_style, class_name, Widen(row.text).c_str(), style, 0, 0, 0, 0, window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + i)),
                        instance_, nullptr);
    controls_[i] = control;
    if (!control) {
      // A window without one of its controls would silently lack a function.
      create_failure_ = L"无法创建控件“" + Widen(row.form_name) + L"”，程序无法运行。";
      return false;
    }
    if (row.kind == ControlKind::CheckBox && row.initially_ticked) {
      Button_SetCheck(control, BST_CHECKED);
    }
  }

  const HWND combo = Control(ControlId::OpacityBox);
  for (const std::string_view item : kOpacityItems) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
  }
  SendMessageW(combo, CB_SETCURSEL, kInitialOpacityIndex, 0);
  SetWindowTextW(combo, Widen(kInitialOpacityText).c_str());

  for (const ControlId id : {ControlId::WidthEdit, ControlId::HeightEdit}) {
    SetWindowSubclass(Control(id), IntegerBoxProc, kIntegerBoxSubclassId,
                      reinterpret_cast<DWORD_PTR>(this));
  }
  ApplyFont();
  LayoutControls();
  return true;
}

void MainWindow::ApplyFont() {
  // The stock font is made for the system DPI; at another DPI (another
  // monitor, WM_DPICHANGED) a copy scaled to the window's DPI takes over.
  const HGDIOBJ stock = GetStockObject(DEFAULT_GUI_FONT);
  const UINT system_dpi = WindowDpi(nullptr);
  GdiObject scaled;
  LOGFONTW face{};
  if (dpi_ != system_dpi && GetObjectW(stock, sizeof face, &face) == sizeof face) {
    face.lfHeight = MulDiv(face.lfHeight, static_cast<int>(dpi_), static_cast<int>(system_dpi));
    scaled = GdiObject(CreateFontIndirectW(&face));
  }
  const auto font = reinterpret_cast<WPARAM>(scaled ? scaled.get() : stock);
  for (const HWND control : controls_) {
    if (control) SendMessageW(control, WM_SETFONT, font, TRUE);
  }
  // The controls now use the new font; the old one may go.
  scaled_font_ = std::move(scaled);
}

void MainWindow::LayoutControls() {
  for (std::size_t i = 0; i < kMainWindowControls.size(); ++i) {
    const ControlSpec& row = kMainWindowControls[i];
    if (!controls_[i]) continue;
    const int height =
        row.kind == ControlKind::ComboBox ? row.height + kComboListHeight : row.height;
    SetWindowPos(controls_[i], nullptr, Scale(row.left), Scale(row.top), Scale(row.width),
                 Scale(height), SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

int MainWindow::Scale(int pixels) const { return MulDiv(pixels, static_cast<int>(dpi_), 96); }

HWND MainWindow::Control(ControlId id) const {
  return controls_[static_cast<std::size_t>(ControlIndex(id))];
}

bool MainWindow::IsOurs(HWND window) const {
  const HWND main = window_.load();
  return main && (window == main || IsChild(main, window));
}

bool MainWindow::PreTranslate(const MSG& message) {
  const HWND main = window_.load();
  if (!main || closing_) return false;
  if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE && IsOurs(message.hwnd)) {
    // An open drop-down list takes Esc for itself first.
    if (SendMessageW(Control(ControlId::OpacityBox), CB_GETDROPPEDSTATE, 0, 0)) return false;
    if (HeldModifiers() == Modifiers::kNone) {
      PostMessageW(main, WM_CLOSE, 0, 0);
      return true;
    }
    return false;
  }
  if (message.message == WM_SYSKEYDOWN && message.wParam == VK_MENU &&
      (message.lParam & (1 << 30)) == 0 && IsOurs(message.hwnd)) {
    // A fresh Alt press (not the auto-repeat of a held one) starts over,
    // whichever of our windows has the focus.
    alt_wheel_used_ = false;
    return false;
  }
  if (message.message == WM_MOUSEWHEEL && IsOurs(message.hwnd)) {
    // The system addresses a turn to the window under the pointer or to the
    // focused control, depending on the version and a user setting: the
    // pointer decides. Over the bare background and inside the group box the
    // turn sizes the rectangle; over a control it stays the control's own.
    if (!PointerOverOwnArea(message.lParam)) {
      return message.hwnd == main || message.hwnd == Control(ControlId::SizingGroup);
    }
    const Modifiers held = HeldModifiers();
    if (Has(held, Modifiers::kAlt)) alt_wheel_used_ = true;
    controller_->OnWheel(GET_WHEEL_DELTA_WPARAM(message.wParam), held);
    return true;
  }
  return false;
}

bool MainWindow::PointerOverOwnArea(LPARAM screen_point) const {
  const HWND main = window_.load();
  POINT point{GET_X_LPARAM(screen_point), GET_Y_LPARAM(screen_point)};
  // Another window in front of ours (a message box, another program) takes it.
  if (!IsOurs(WindowFromPoint(point))) return false;
  RECT client{};
  if (!GetClientRect(main, &client) || !ScreenToClient(main, &point)) return false;
  return WheelSizesAt(point.x, point.y, client.right, client.bottom, static_cast<int>(dpi_));
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->window_.store(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wparam, lparam);
  return self->HandleMessage(message, wparam, lparam);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  const HWND window = window_.load();
  switch (message) {
    case WM_COMMAND:
      if (!closing_) OnCommand(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_HOTKEY:
      if (!closing_) controller_->OnHotkey(static_cast<std::int32_t>(wparam));
      return 0;
    case WM_TIMER:
      if (wparam == kPreviewTimerId && !closing_) controller_->OnPreviewTimerTick();
      return 0;
    case kViewUpdateMessage:
      ApplyViewUpdates();
      return 0;
    case kWindowShownMessage:
      if (!closing_) controller_->OnWindowShown();
      return 0;
    case kPreviewClosedMessage:
      if (!closing_) controller_->OnPreviewWindowClosed();
      return 0;
    case WM_MOUSEWHEEL:
      // Passed up from a control by its default handling: not ours to use.
      return 0;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == SC_KEYMENU && lparam == 0 && alt_wheel_used_) {
        alt_wheel_used_ = false;  // Alt was held for the wheel, not for the menu
        return 0;
      }
      break;
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wparam);
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      ApplyFont();
      LayoutControls();
      return 0;
    }
    case WM_QUERYENDSESSION:
      // Log off or shut down: the process may be ended at any moment after
      // this answer, so the running recording is saved now, as F8 would save
      // it but without a box. If the session goes on, recording goes on too.
      if (!closing_) controller_->OnEndRequested();
      return TRUE;
    case WM_ENDSESSION:
      if (wparam && !closing_) {
        controller_->OnEndRequested();  // a recording started since the query
        DestroyWindow(window);          // then the program ends as when the window closes
      }
      return 0;
    case WM_DESTROY:
      // The program ends with this window: the preview goes, a recording in
      // progress is abandoned and its thread joined, open outcome boxes close.
      closing_ = true;
      KillTimer(window, kPreviewTimerId);
      controller_->OnWindowClosing();
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      window_.store(nullptr);
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void MainWindow::OnCommand(int id, int code) {
  const int index = id - kFirstControlId;
  if (index < 0 || index >= static_cast<int>(kMainWindowControls.size())) return;
  const ControlSpec& row = kMainWindowControls[static_cast<std::size_t>(index)];
  const HWND control = controls_[static_cast<std::size_t>(index)];
  if (row.kind == ControlKind::EditBox) {
    if (code != EN_CHANGE) return;
    std::string text = WindowTextUtf8(control);
    switch (row.id) {
      case ControlId::WidthEdit: controller_->OnWidthTextChanged(std::move(text)); break;
      case ControlId::HeightEdit: controller_->OnHeightTextChanged(std::move(text)); break;
      case ControlId::RateEdit: controller_->OnRateTextChanged(std::move(text)); break;
      default: break;
    }
    return;
  }
  if (code != BN_CLICKED) return;
  switch (row.id) {
    case ControlId::RecordButton: controller_->OnRecordClicked(); break;
    case ControlId::StopButton: controller_->OnStopClicked(); break;
    case ControlId::AboutButton: controller_->OnAboutClicked(); break;
    case ControlId::OnTopBox: controller_->OnAlwaysOnTopClicked(Ticked(control)); break;
    case ControlId::MarkerBox: controller_->OnMarkerToggled(Ticked(control)); break;
    case ControlId::PreviewBox: {
      // What the box shows decides: the list may still hold a selection that
      // the edit field's text no longer matches (the form selects "10%" and
      // then writes "15%"), and then no item counts as selected.
      const HWND combo = Control(ControlId::OpacityBox);
      const std::wstring shown = WindowText(combo);
      int selection = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
      if (selection >= 0) {
        const auto length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(selection), 0);
        std::wstring item(length > 0 ? static_cast<std::size_t>(length) + 1 : 1, L'\0');
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(selection),
                     reinterpret_cast<LPARAM>(item.data()));
        item.resize(std::wcslen(item.c_str()));
        if (item != shown) selection = -1;
      }
      controller_->OnPreviewClicked(Ticked(control), selection, Narrow(shown));
      break;
    }
    default: break;
  }
}

LRESULT CALLBACK MainWindow::IntegerBoxProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam,
                                            UINT_PTR, DWORD_PTR) {
  switch (message) {
    case WM_CHAR:
      // Typed characters: digits, "-" and control characters only. Pasted
      // text does not come this way and is not filtered.
      if (!AppController::AcceptsTypedCharacter(static_cast<char32_t>(wparam))) return 0;
      break;
    case WM_KILLFOCUS: {
      DWORD selection_start = 0;
      SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&selection_start), 0);
      const auto normalised = AppController::NormaliseOnFocusLoss(
          WindowTextUtf8(box), static_cast<int>(selection_start));
      if (normalised) {
        SetWindowTextW(box, Widen(normalised->text).c_str());  // EN_CHANGE updates the mirror
        SendMessageW(box, EM_SETSEL, static_cast<WPARAM>(normalised->caret),
                     static_cast<LPARAM>(normalised->caret));
      }
      break;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(box, IntegerBoxProc, kIntegerBoxSubclassId);
      break;
    default:
      break;
  }
  return DefSubclassProc(box, message, wparam, lparam);
}

void MainWindow::SetWidthText(const std::string& text) {
  SetWindowTextW(Control(ControlId::WidthEdit), Widen(text).c_str());
}

void MainWindow::SetHeightText(const std::string& text) {
  SetWindowTextW(Control(ControlId::HeightEdit), Widen(text).c_str());
}

void MainWindow::SetAlwaysOnTop(bool on_top) {
  const HWND window = window_.load();
  if (!window) return;
  SetWindowPos(window, on_top ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (!on_top) {
    // Leaving the band must not take the preview frame down with it.
    EnumThreadWindows(GetCurrentThreadId(), RaiseToolWindow, reinterpret_cast<LPARAM>(window));
  }
}

void MainWindow::SetPreviewTicked(bool ticked) {
  Button_SetCheck(Control(ControlId::PreviewBox), ticked ? BST_CHECKED : BST_UNCHECKED);
}

void MainWindow::SetPeriod(int milliseconds) {
  const HWND window = window_.load();
  if (!window) return;
  if (milliseconds > 0) {
    SetTimer(window, kPreviewTimerId, static_cast<UINT>(milliseconds), nullptr);
  } else {
    KillTimer(window, kPreviewTimerId);
  }
}

std::int32_t MainWindow::RegisterGlobalHotkey(Modifiers modifiers, Key key) {
  // Every attempt takes the next identifier (F7 33001, F8 33002), whether or
  // not the system accepts it; a refused key keeps 0.
  const std::int32_t id = next_hotkey_id_++;
  UINT system_modifiers = 0;
  if (Has(modifiers, Modifiers::kCtrl)) system_modifiers |= MOD_CONTROL;
  if (Has(modifiers, Modifiers::kShift)) system_modifiers |= MOD_SHIFT;
  if (Has(modifiers, Modifiers::kAlt)) system_modifiers |= MOD_ALT;
  const UINT virtual_key = key == Key::kF7 ? VK_F7 : VK_F8;
  const HWND window = window_.load();
  if (!window || !RegisterHotKey(window, id, system_modifiers, virtual_key)) {
    return 0;
  }
  return id;
}

void MainWindow::SetCaption(std::string text) {
  ViewUpdate update;
  update.caption = std::move(text);
  Post(std::move(update));
}

void MainWindow::SetRecordEnabled(bool enabled) {
  {
    std::lock_guard lock(timer_resolution_mutex_);
    if (!enabled && !timer_resolution_) timer_resolution_.emplace();
    if (enabled) timer_resolution_.reset();
  }
  ViewUpdate update;
  update.record_enabled = enabled;
  Post(std::move(update));
}

void MainWindow::Post(ViewUpdate update) {
  {
    std::lock_guard lock(updates_mutex_);
    updates_.push_back(std::move(update));
  }
  // Posted, never sent: the recorder never waits for the UI thread, which may
  // itself be waiting for the recorder to end.
  if (const HWND window = window_.load()) PostMessageW(window, kViewUpdateMessage, 0, 0);
}

void MainWindow::ApplyViewUpdates() {
  std::deque<ViewUpdate> updates;
  {
    std::lock_guard lock(updates_mutex_);
    updates.swap(updates_);
  }
  const HWND window = window_.load();
  if (!window) return;
  for (const ViewUpdate& update : updates) {
    if (update.caption) SetWindowTextW(window, Widen(*update.caption).c_str());
    if (update.record_enabled) {
      EnableWindow(Control(ControlId::RecordButton), *update.record_enabled ? TRUE : FALSE);
    }
  }
}

}  // namespace orvamy::win32
