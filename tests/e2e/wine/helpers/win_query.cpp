// Queries and pokes windows for the Wine end-to-end test. Arguments are taken
// as UTF-16 from the command line, output is UTF-8, one fact per line.
//   win_query window <title>            the top-level window with this exact title
//   win_query class <class>             the first top-level window of this class
//       window L T R B style=0x.. exstyle=0x.. visible=0|1
//       client W H
//       layered alpha=N flags=N         (layered windows)
//       child ID CLASS X Y W H style=0x.. check=N text=...   (positions in client coordinates)
//       combo sel=N items=a|b|c         (combo boxes)
//   win_query wait <title> <seconds>    waits for the window; prints its message text (dialogs)
//   win_query click <title> <text>      posts BM_CLICK to the child with this text
//   win_query close <title>|--class <class>   posts WM_CLOSE
//   win_query wheel <title> <text> <delta>     posts Ctrl + a wheel turn at the pointer to the
//                                              child with this text, as systems that address
//                                              the focused control do
// Exit code 0 on success, 1 when the window is not found.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

// WM_GETTEXT itself: GetWindowText does not ask controls of other processes.
std::wstring Text(HWND window) {
  wchar_t buffer[1024] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                      5000, &copied);
  return buffer;
}

std::wstring ClassOf(HWND window) {
  wchar_t buffer[256] = {};
  GetClassNameW(window, buffer, 256);
  return buffer;
}

BOOL CALLBACK PrintChild(HWND child, LPARAM parent_value) {
  const auto parent = reinterpret_cast<HWND>(parent_value);
  if (GetParent(child) != parent) return TRUE;  // direct children only
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  const std::wstring cls = ClassOf(child);
  const LRESULT check = _wcsicmp(cls.c_str(), L"Button") == 0 ? SendMessageW(child, BM_GETCHECK, 0, 0) : -1;
  std::printf("child %d %s %ld %ld %ld %ld style=0x%08lx check=%d text=%s\n",
              GetDlgCtrlID(child), Utf8(cls).c_str(), r.left, r.top, r.right - r.left,
              r.bottom - r.top, static_cast<unsigned long>(GetWindowLongW(child, GWL_STYLE)),
              static_cast<int>(check), Utf8(Text(child)).c_str());
  if (_wcsicmp(cls.c_str(), L"ComboBox") == 0) {
    const int count = static_cast<int>(SendMessageW(child, CB_GETCOUNT, 0, 0));
    std::string items;
    for (int i = 0; i < count; ++i) {
      wchar_t item[256] = {};
      if (SendMessageW(child, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 255) {
        SendMessageW(child, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
      }
      items += (i ? "|" : "") + Utf8(item);
    }
    std::printf("combo sel=%d items=%s\n", static_cast<int>(SendMessageW(child, CB_GETCURSEL, 0, 0)),
                items.c_str());
  }
  return TRUE;
}

void Describe(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  std::printf("window %ld %ld %ld %ld style=0x%08lx exstyle=0x%08lx visible=%d\n", r.left, r.top,
              r.right, r.bottom, static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE)),
              static_cast<unsigned long>(GetWindowLongW(window, GWL_EXSTYLE)),
              IsWindowVisible(window) ? 1 : 0);
  RECT c;
  GetClientRect(window, &c);
  std::printf("client %ld %ld\n", c.right, c.bottom);
  BYTE alpha = 0;
  DWORD flags = 0;
  COLORREF key = 0;
  if ((GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYERED) &&
      GetLayeredWindowAttributes(window, &key, &alpha, &flags)) {
    std::printf("layered alpha=%u flags=%lu\n", alpha, static_cast<unsigned long>(flags));
  }
  EnumChildWindows(window, PrintChild, reinterpret_cast<LPARAM>(window));
}

struct ChildByText {
  const wchar_t* text;
  HWND found;
};

BOOL CALLBACK FindChildByText(HWND child, LPARAM value) {
  auto* search = reinterpret_cast<ChildByText*>(value);
  if (Text(child) == search->text) {
    search->found = child;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wstring(argv[1]) == L"screen") {
    // The screen size Wine reports to programs (what they centre on).
    std::printf("%d %d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    return 0;
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: win_query screen|window|class|wait|click|close ...\n");
    return 64;
  }
  const std::wstring command = argv[1];
  if (command == L"window" || command == L"class") {
    HWND window = command == L"window" ? FindWindowW(nullptr, argv[2]) : FindWindowW(argv[2], nullptr);
    if (!window) return 1;
    Describe(window);
  } else if (command == L"wait" && argc >= 4) {
    const ULONGLONG give_up = GetTickCount64() + static_cast<ULONGLONG>(_wtoi(argv[3])) * 1000u;
    HWND window = nullptr;
    while (!(window = FindWindowW(nullptr, argv[2])) && GetTickCount64() < give_up) Sleep(100);
    if (!window) return 1;
    // A message box shows its text in the static control 0xFFFF.
    HWND text = GetDlgItem(window, 0xFFFF);
    std::printf("text=%s\n", Utf8(text ? Text(text) : Text(window)).c_str());
  } else if (command == L"click" && argc >= 4) {
    HWND window = FindWindowW(nullptr, argv[2]);
    if (!window) return 1;
    ChildByText search{argv[3], nullptr};
    EnumChildWindows(window, FindChildByText, reinterpret_cast<LPARAM>(&search));
    if (!search.found) return 1;
    // Posted: a click that opens a modal box must not hold this tool up.
    PostMessageW(search.found, BM_CLICK, 0, 0);
  } else if (command == L"wheel" && argc >= 5) {
    HWND window = FindWindowW(nullptr, argv[2]);
    if (!window) return 1;
    ChildByText search{argv[3], nullptr};
    EnumChildWindows(window, FindChildByText, reinterpret_cast<LPARAM>(&search));
    POINT pointer{};
    if (!search.found || !GetCursorPos(&pointer)) return 1;
    const auto delta = static_cast<short>(_wtoi(argv[4]));
    PostMessageW(search.found, WM_MOUSEWHEEL,
                 MAKEWPARAM(MK_CONTROL, static_cast<WORD>(delta)),
                 MAKELPARAM(static_cast<WORD>(pointer.x), static_cast<WORD>(pointer.y)));
  } else if (command == L"close") {
    HWND window = (std::wstring(argv[2]) == L"--class" && argc >= 4) ? FindWindowW(argv[3], nullptr)
                                                                     : FindWindowW(nullptr, argv[2]);
    if (!window) return 1;
    PostMessageW(window, WM_CLOSE, 0, 0);
  } else {
    return 64;
  }
  std::fflush(stdout);
  return 0;
}
