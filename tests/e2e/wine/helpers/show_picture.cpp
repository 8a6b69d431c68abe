// Shows the known picture (picture.h) in a borderless window over the whole
// screen and keeps the keyboard focus, so that Wine delivers hot keys to the
// program under test. Ends on WM_CLOSE or after the number of seconds given as
// its argument (default 120), so a failed test never leaves it behind.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdlib>

#include "picture.h"

namespace {

COLORREF ToColorRef(std::uint32_t rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

void Fill(HDC dc, int left, int top, int right, int bottom, std::uint32_t rgb) {
  const RECT r{left, top, right, bottom};
  HBRUSH brush = CreateSolidBrush(ToColorRef(rgb));
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  using namespace orvamy_e2e;
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      RECT client;
      GetClientRect(window, &client);
      Fill(dc, 0, 0, kCentreX, kCentreY, kQuadrants[0]);
      Fill(dc, kCentreX, 0, client.right, kCentreY, kQuadrants[1]);
      Fill(dc, 0, kCentreY, kCentreX, client.bottom, kQuadrants[2]);
      Fill(dc, kCentreX, kCentreY, client.right, client.bottom, kQuadrants[3]);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_TIMER:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
  const int seconds = arguments && *arguments ? std::atoi(arguments) : 120;
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = L"OrvamyE2EPicture";
  RegisterClassW(&wc);
  // The screen origin is the picture's origin: a popup covering the screen.
  HWND window = CreateWindowExW(0, wc.lpszClassName, L"Orvamy e2e picture", WS_POPUP | WS_VISIBLE,
                                0, 0, GetSystemMetrics(SM_CXSCREEN),
                                GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  SetForegroundWindow(window);
  SetFocus(window);
  SetTimer(window, 1, static_cast<UINT>(seconds > 0 ? seconds : 120) * 1000u, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
