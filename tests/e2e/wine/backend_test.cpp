// The Win32 back end's own checks that need a real (Wine) desktop: the GDI
// capture's file image and pixels, the clipboard routes with the clipboard held by
// someone else, and message boxes closed by DismissAll. Run by ./run on its
// virtual display; not registered with CTest, which has no display.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "capture/bmp.h"
#include "platform/win32/win32_capture.h"
#include "platform/win32/win32_clipboard.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_preview.h"
#include "platform/win32/win32_util.h"

#include <shellapi.h>

namespace orvamy::win32 {
namespace {

std::uint32_t Read32(const ByteArray& bytes, std::size_t at) {
  std::uint32_t v = 0;
  std::memcpy(&v, bytes.data() + at, 4);
  return v;
}

TEST(GdiCapture, FileImageMatchesItsHeaderForOddSizesAndNegativeCorners) {
  GdiScreenSource screen;
  struct Case {
    std::int32_t x, y, width, height;
  };
  for (const Case c : {Case{0, 0, 1, 1}, Case{100, 50, 351, 250}, Case{-20, -7, 33, 5}}) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    const ByteArray image = screen.CaptureScreenRect(c.x, c.y, c.width, c.height);
    ASSERT_GE(image.size(), kBmpPixelOffset);
    EXPECT_EQ(image[0], 'B');
    EXPECT_EQ(image[1], 'M');
    EXPECT_EQ(Read32(image, 2), image.size());
    EXPECT_EQ(Read32(image, 10), 54u);
    const auto layout =
        ComputeBmpLayout(c.width, c.height, static_cast<int>(image[28] | (image[29] << 8)));
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(layout->file_size, image.size());
    const auto picture = DecodeBmp(image);
    ASSERT_TRUE(picture.has_value()) << "the frame decoder must take what the capture gives";
    EXPECT_EQ(picture->width, c.width);
    EXPECT_EQ(picture->height, c.height);
  }
}

// The frame loop's capture: the same pixels as the file image, top row
// first, the fourth byte clear, into one picture reused across sizes.
TEST(GdiCapture, PixelsMatchTheFileImageInAReusedPicture) {
  GdiScreenSource screen;
  Picture reused;
  for (const ScreenRect rect : {ScreenRect{100, 50, 351, 250}, ScreenRect{-20, -7, 33, 5},
                                ScreenRect{0, 0, 1, 1}, ScreenRect{10, 20, 640, 480}}) {
    SCOPED_TRACE(std::to_string(rect.width) + "x" + std::to_string(rect.height));
    const auto expected =
        DecodeBmp(screen.CaptureScreenRect(rect.left, rect.top, rect.width, rect.height));
    ASSERT_TRUE(expected.has_value());
    ASSERT_TRUE(screen.CapturePixelsInto(reused, rect));
    ASSERT_EQ(reused.width, rect.width);
    ASSERT_EQ(reused.height, rect.height);
    EXPECT_TRUE(reused.pixels == expected->pixels);
    for (const std::uint32_t pixel : reused.pixels) ASSERT_EQ(pixel >> 24, 0u);
  }
  EXPECT_FALSE(screen.CapturePixelsInto(reused, {0, 0, 0, 10}));
}

TEST(GdiCapture, SizesBelowOneGiveNoPicture) {
  GdiScreenSource screen;
  EXPECT_TRUE(screen.CaptureScreenRect(0, 0, 0, 10).empty());
  EXPECT_TRUE(screen.CaptureScreenRect(0, 0, 10, -1).empty());
}

void PumpMessages() {
  MSG message;
  for (int i = 0; i < 20; ++i) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(10);
  }
}

TEST(PreviewFrame, NeverShowsInAScreenCopyOfItsRectangle) {
  // Where the system cannot keep the frame out of copies it must stay outside
  // the rectangle; where it can, the copy must not see it either. Opaque, so
  // that any part of it inside the rectangle would show.
  GdiScreenSource screen;
  const ScreenRect rect{120, 90, 200, 150};
  const ByteArray before = screen.CaptureScreenRect(rect.left, rect.top, rect.width, rect.height);
  ASSERT_FALSE(before.empty());
  Win32PreviewWindow preview(GetModuleHandleW(nullptr), WM_APP + 2);
  preview.Open();
  ASSERT_NE(preview.handle(), nullptr);
  preview.SetOpacity(255);
  preview.Place(rect);
  PumpMessages();
  const ByteArray during = screen.CaptureScreenRect(rect.left, rect.top, rect.width, rect.height);
  RECT placed{};
  GetWindowRect(preview.handle(), &placed);
  preview.Close();
  EXPECT_TRUE(during == before) << "the frame darkened the capture rectangle (excluded="
                                << preview.excluded_from_capture() << ")";
  if (!preview.excluded_from_capture()) {
    EXPECT_EQ(placed.left, rect.left - Win32PreviewWindow::kBand);
    EXPECT_EQ(placed.top, rect.top - Win32PreviewWindow::kBand);
    EXPECT_EQ(placed.right, rect.left + rect.width + Win32PreviewWindow::kBand);
    EXPECT_EQ(placed.bottom, rect.top + rect.height + Win32PreviewWindow::kBand);
  }
}

std::string ClipboardText() {
  OpenedClipboard clipboard(2000);
  if (!clipboard) return "<not opened>";
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  if (!data) return "<no text>";
  const auto* text = static_cast<const wchar_t*>(GlobalLock(data));
  std::string result = text ? Narrow(text) : "<no lock>";
  GlobalUnlock(data);
  return result;
}

void PutText(const std::wstring& text) {
  OpenedClipboard clipboard(2000);
  ASSERT_TRUE(clipboard);
  EmptyClipboard();
  GlobalBlock block(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
  ASSERT_TRUE(block.Fill(text.c_str(), (text.size() + 1) * sizeof(wchar_t)));
  ASSERT_TRUE(SetClipboardData(CF_UNICODETEXT, block.get()));
  block.Release();
}

TEST(Clipboard, HeldByAnotherProgramTheQQCopyGivesUpAndLeavesItAlone) {
  PutText(L"the user's text");
  std::atomic<bool> holding{false};
  std::atomic<bool> release{false};
  std::thread other([&] {  // another owner: a window of its own holds it open
    HWND window = CreateWindowExW(0, L"STATIC", L"holder", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
    if (window && OpenClipboard(window)) {
      holding = true;
      while (!release) Sleep(10);
      CloseClipboard();
    } else {
      holding = true;  // the test then fails below instead of hanging
    }
    if (window) DestroyWindow(window);
  });
  while (!holding) Sleep(5);
  Win32Clipboard exporter;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(exporter.CopyGifForQQ("C:\\x\\GIF1.gif"));
  const auto waited = std::chrono::steady_clock::now() - start;
  release = true;
  other.join();
  EXPECT_LT(waited, std::chrono::seconds(3)) << "gave up only after a long wait";
  EXPECT_EQ(ClipboardText(), "the user's text");
}

TEST(Clipboard, QQCopyReplacesTheClipboardWithTheBlockAndTheFile) {
  PutText(L"old");
  Win32Clipboard exporter;
  const std::string path = "C:\\Tools\\Recorder\\GIF2024351479.gif";
  ASSERT_TRUE(exporter.CopyGifForQQ(path));
  OpenedClipboard clipboard(2000);
  ASSERT_TRUE(clipboard);
  EXPECT_EQ(GetClipboardData(CF_UNICODETEXT), nullptr) << "the old text must be gone";
  HANDLE block = GetClipboardData(RegisterClipboardFormatA("QQ_RichEdit_Format"));
  ASSERT_NE(block, nullptr);
  const auto* bytes = static_cast<const char*>(GlobalLock(block));
  ASSERT_NE(bytes, nullptr);
  ASSERT_GE(GlobalSize(block), 161u);
  EXPECT_EQ(std::string(bytes, 160),
            "<QQRichEditFormat><Info version=\"1001\"></Info><EditElement type=\"1\" filepath=\"" +
                path + "\" shortcut=\"\"></EditElement></QQRichEditFormat>");
  EXPECT_EQ(bytes[160], '\0');
  GlobalUnlock(block);
  EXPECT_NE(GetClipboardData(CF_HDROP), nullptr);
}

TEST(Clipboard, APathTheCodePageCannotSpellIsNoQQCopyButStillTheFile) {
  // A musical symbol is in no ANSI code page but UTF-8's.
  if (GetACP() == CP_UTF8) GTEST_SKIP() << "the ANSI code page is UTF-8: every path survives";
  PutText(L"old");
  Win32Clipboard exporter;
  const std::string path = "C:\\Users\\\xF0\x9D\x84\x9E\\Pictures\\GIF1.gif";
  EXPECT_FALSE(exporter.CopyGifForQQ(path)) << "a path with '?' in it names no file";
  OpenedClipboard clipboard(2000);
  ASSERT_TRUE(clipboard);
  EXPECT_EQ(GetClipboardData(RegisterClipboardFormatA("QQ_RichEdit_Format")), nullptr);
  HANDLE files = GetClipboardData(CF_HDROP);
  ASSERT_NE(files, nullptr) << "the file drop is UTF-16 and names the file exactly";
  wchar_t named[MAX_PATH] = {};
  ASSERT_GT(DragQueryFileW(static_cast<HDROP>(files), 0, named, MAX_PATH), 0u);
  EXPECT_EQ(Narrow(named), path);
}

TEST(Clipboard, WithoutAnHtmlEngineTheHtmlCopyFailsCleanly) {
  // Wine here has no HTML engine (mshtml is switched off for the tests).
  PutText(L"kept");
  Win32Clipboard exporter;
  EXPECT_FALSE(exporter.CopyGifAsHtml("C:\\x\\GIF1.gif"));
  EXPECT_EQ(ClipboardText(), "kept");
}

TEST(MessageBoxes, DismissAllClosesBoxesOfOtherThreads) {
  Win32MessagePort messages;
  std::atomic<int> returned{0};
  std::thread first([&] {
    messages.ShowMessage("one", "");
    ++returned;
  });
  std::thread second([&] {
    messages.ShowMessage("two", "title");
    ++returned;
  });
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (returned < 2 && std::chrono::steady_clock::now() < give_up) {
    messages.DismissAll();  // as Recorder::Shutdown does while it waits
    Sleep(20);
  }
  if (returned < 2) {
    // The boxes are still open: joining would hang, so end here.
    std::fprintf(stderr, "DismissAll left %d box(es) open\n", 2 - returned.load());
    std::_Exit(1);
  }
  first.join();
  second.join();
}

}  // namespace
}  // namespace orvamy::win32
