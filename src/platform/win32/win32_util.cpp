#include "platform/win32/win32_util.h"

#include <cstring>
#include <vector>

#include "base/utf.h"

namespace orvamy::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t expected");

std::wstring Widen(std::string_view utf8) {
  const std::u16string utf16 = Utf8ToUtf16(utf8);
  return std::wstring(utf16.begin(), utf16.end());
}

std::string Narrow(std::wstring_view utf16) {
  return Utf16ToUtf8(std::u16string(utf16.begin(), utf16.end()));
}

std::string Utf8ToAnsi(std::string_view utf8) {
  const std::wstring wide = Widen(utf8);
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr,
                                        nullptr);
  if (bytes <= 0) return {};
  std::string ansi(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), length, ansi.data(), bytes, nullptr, nullptr);
  return ansi;
}

std::optional<std::string> Utf8ToAnsiExactly(std::string_view utf8) {
  std::string ansi = Utf8ToAnsi(utf8);
  const std::wstring wide = Widen(utf8);
  if (wide.empty()) return ansi;
  const int length = static_cast<int>(ansi.size());
  const int chars = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
  if (chars <= 0) return std::nullopt;
  std::wstring back(static_cast<std::size_t>(chars), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, back.data(), chars);
  if (back != wide) return std::nullopt;
  return ansi;
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

std::string WindowTextUtf8(HWND window) { return Narrow(WindowText(window)); }

std::wstring ExecutableDirectory() {
  std::vector<wchar_t> buffer(MAX_PATH);
  while (true) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(),
                                            static_cast<DWORD>(buffer.size()));
    if (length == 0) return L".";
    if (length < buffer.size()) {
      std::wstring path(buffer.data(), length);
      const std::size_t cut = path.find_last_of(L'\\');
      return cut == std::wstring::npos ? std::wstring(L".") : path.substr(0, cut);
    }
    if (buffer.size() >= 32768) return L".";
    buffer.resize(buffer.size() * 2);
  }
}

bool GlobalBlock::Fill(const void* data, SIZE_T size) {
  if (!block_) return false;
  void* target = GlobalLock(block_);
  if (!target) return false;
  if (size > 0) std::memcpy(target, data, size);
  GlobalUnlock(block_);
  return true;
}

OpenedClipboard::OpenedClipboard(DWORD patience_ms) {
  // Another program may hold the clipboard for a moment (a clipboard manager
  // reading what we wrote last): try again briefly instead of failing at once.
  const ULONGLONG give_up = GetTickCount64() + patience_ms;
  while (!(open_ = OpenClipboard(nullptr) != FALSE)) {
    if (GetTickCount64() >= give_up) return;
    Sleep(20);
  }
}

}  // namespace orvamy::win32
