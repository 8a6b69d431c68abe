#pragma once
// Small Win32 helpers shared by the back end: text conversions between the
// core's UTF-8 and the system's UTF-16 (and the ANSI code page where a format
// wants bytes), and RAII owners for the handles the back end uses.
// Everything here is private to platform/win32.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace orvamy::win32 {

// UTF-8 <-> UTF-16 (wchar_t is UTF-16 on Windows).
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// UTF-8 -> bytes of the ANSI code page, as the "A" functions and the QQ
// clipboard format expect. Characters the code page lacks become '?'.
std::string Utf8ToAnsi(std::string_view utf8);
// The same when every character survives the trip (converting back gives the
// same text), else nullopt: a path with a '?' in place of a character names a
// file that does not exist.
std::optional<std::string> Utf8ToAnsiExactly(std::string_view utf8);

// The text of a window or control, as UTF-8.
std::string WindowTextUtf8(HWND window);
std::wstring WindowText(HWND window);

// The directory that holds the running executable, without a trailing
// backslash (a drive root gives "D:").
std::wstring ExecutableDirectory();

// Owns a GDI object (bitmap, brush, font ...): DeleteObject on destruction.
class GdiObject {
 public:
  explicit GdiObject(HGDIOBJ object = nullptr) : object_(object) {}
  ~GdiObject() {
    if (object_) DeleteObject(object_);
  }
  GdiObject(GdiObject&& other) noexcept : object_(other.Release()) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    if (this != &other) {
      if (object_) DeleteObject(object_);
      object_ = other.Release();
    }
    return *this;
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  HGDIOBJ get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // Gives the object up (to the system, which then deletes it).
  HGDIOBJ Release() {
    HGDIOBJ object = object_;
    object_ = nullptr;
    return object;
  }

 private:
  HGDIOBJ object_;
};

// A memory device context: DeleteDC on destruction.
class MemoryDc {
 public:
  explicit MemoryDc(HDC compatible_with) : dc_(CreateCompatibleDC(compatible_with)) {}
  ~MemoryDc() {
    if (dc_) DeleteDC(dc_);
  }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HDC dc_;
};

// The device context of the whole screen (GetDC with no window). Released by
// Release() as soon as the copy is done, else on destruction.
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ~ScreenDc() { Release(); }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }
  void Release() {
    if (dc_) ReleaseDC(nullptr, dc_);
    dc_ = nullptr;
  }

 private:
  HDC dc_;
};

// Selects an object into a device context and puts the replaced one back.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~SelectedObject() { Restore(); }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;
  void Restore() {
    if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    previous_ = nullptr;
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A movable global memory block (for the clipboard): GlobalFree on destruction
// unless ownership went to the clipboard (Release()).
class GlobalBlock {
 public:
  GlobalBlock() = default;
  GlobalBlock(UINT flags, SIZE_T size) : block_(GlobalAlloc(flags, size)) {}
  ~GlobalBlock() {
    if (block_) GlobalFree(block_);
  }
  GlobalBlock(GlobalBlock&& other) noexcept : block_(other.Release()) {}
  GlobalBlock& operator=(GlobalBlock&& other) noexcept {
    if (this != &other) {
      if (block_) GlobalFree(block_);
      block_ = other.Release();
    }
    return *this;
  }
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;
  HGLOBAL get() const { return block_; }
  explicit operator bool() const { return block_ != nullptr; }
  HGLOBAL Release() {
    HGLOBAL block = block_;
    block_ = nullptr;
    return block;
  }
  // Copies `size` bytes in; false when the block cannot be locked.
  bool Fill(const void* data, SIZE_T size);

 private:
  HGLOBAL block_ = nullptr;
};

// An open clipboard: CloseClipboard on destruction.
class OpenedClipboard {
 public:
  // Tries for about `patience_ms` while another program holds the clipboard.
  explicit OpenedClipboard(DWORD patience_ms = 500);
  ~OpenedClipboard() {
    if (open_) CloseClipboard();
  }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  explicit operator bool() const { return open_; }

 private:
  bool open_ = false;
};

}  // namespace orvamy::win32
