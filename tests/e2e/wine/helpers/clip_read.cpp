// Reads the clipboard for the Wine end-to-end test:
//   clip_read <out-file>
// writes the "QQ_RichEdit_Format" block (all of its bytes) to <out-file> and
// prints "files: <path>" for each file of CF_HDROP and "effect: <n>" for the
// "Preferred DropEffect". Exit code 0 when the QQ format was there, 2 when it
// was not, 3 when the clipboard could not be opened within 5 seconds.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: clip_read <out-file>\n");
    return 64;
  }
  bool open = false;
  for (int attempt = 0; attempt < 100 && !open; ++attempt) {
    open = OpenClipboard(nullptr) != FALSE;
    if (!open) Sleep(50);
  }
  if (!open) return 3;

  int status = 2;
  const UINT qq = RegisterClipboardFormatA("QQ_RichEdit_Format");
  if (HANDLE block = GetClipboardData(qq)) {
    const SIZE_T size = GlobalSize(block);
    if (const void* bytes = GlobalLock(block)) {
      if (FILE* out = std::fopen(argv[1], "wb")) {
        std::fwrite(bytes, 1, size, out);
        std::fclose(out);
        status = 0;
      }
      GlobalUnlock(block);
    }
  }
  if (HANDLE drop = GetClipboardData(CF_HDROP)) {
    const auto files = static_cast<HDROP>(drop);
    const UINT count = DragQueryFileW(files, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
      wchar_t path[4096] = {};
      DragQueryFileW(files, i, path, 4096);
      char utf8[16384] = {};
      WideCharToMultiByte(CP_UTF8, 0, path, -1, utf8, sizeof utf8, nullptr, nullptr);
      std::printf("files: %s\n", utf8);
    }
  }
  const UINT effect_format = RegisterClipboardFormatW(L"Preferred DropEffect");
  if (HANDLE effect = GetClipboardData(effect_format)) {
    if (const auto* value = static_cast<const DWORD*>(GlobalLock(effect))) {
      std::printf("effect: %lu\n", static_cast<unsigned long>(*value));
      GlobalUnlock(effect);
    }
  }
  CloseClipboard();
  std::fflush(stdout);
  return status;
}
