// The Wayland capture's pure half: pixel rows as streams deliver them, the
// latest picture and pointer per monitor, and the port adapter over them.

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/wayland/frame_store.h"
#include "platform/wayland/pixel_rows.h"
#include "platform/wayland/wayland_screen.h"

namespace orvamy::wayland {
namespace {

// ---- pixel rows -------------------------------------------------------------

struct LayoutCase {
  PixelLayout layout;
  std::array<std::uint8_t, 4> bytes;  // one pixel as stored
  std::uint32_t expected;
};

class PixelRowsTest : public testing::TestWithParam<LayoutCase> {};

// Two rows of two pixels, each row padded to 12 bytes: the padding must be
// skipped and the fourth byte (x or alpha) ignored.
TEST_P(PixelRowsTest, ConvertsEachLayoutAndSkipsRowPadding) {
  const LayoutCase& c = GetParam();
  std::vector<std::uint8_t> bytes(24, 0xEE);  // padding shows up as 0xEE if read
  for (std::size_t pixel_start : {0u, 4u, 12u, 16u}) {
    std::copy(c.bytes.begin(), c.bytes.end(), bytes.begin() + static_cast<long>(pixel_start));
  }
  bytes[16] ^= 0x01;  // the last pixel differs, so rows cannot be swapped unseen
  std::vector<std::uint32_t> out;
  ASSERT_TRUE(ConvertRows(c.layout, bytes, 12, 2, 2, out));
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(out[0], c.expected);
  EXPECT_EQ(out[1], c.expected);
  EXPECT_EQ(out[2], c.expected);
  EXPECT_NE(out[3], c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    EveryLayout, PixelRowsTest,
    testing::Values(LayoutCase{PixelLayout::kBGRx, {0x11, 0x22, 0x33, 0x00}, 0x332211},
                    LayoutCase{PixelLayout::kBGRA, {0x11, 0x22, 0x33, 0x80}, 0x332211},
                    LayoutCase{PixelLayout::kRGBx, {0x11, 0x22, 0x33, 0xFF}, 0x112233},
                    LayoutCase{PixelLayout::kRGBA, {0x11, 0x22, 0x33, 0x00}, 0x112233}));

TEST(PixelRows, RefusesBuffersThatWouldBeReadPastTheirEnd) {
  const struct {
    const char* what;
    std::size_t bytes;
    std::size_t stride;
    std::int32_t width, height;
    bool accepted;
  } cases[] = {
      {"exact rows", 16, 8, 2, 2, true},       {"last row without its padding", 20, 12, 2, 2, true},
      {"one byte short", 19, 12, 2, 2, false}, {"stride shorter than a row", 16, 4, 2, 2, false},
      {"no width", 16, 8, 0, 2, false},        {"negative height", 16, 8, 2, -1, false},
  };
  for (const auto& c : cases) {
    const std::vector<std::uint8_t> bytes(c.bytes, 0x40);
    std::vector<std::uint32_t> out = {7};
    EXPECT_EQ(ConvertRows(PixelLayout::kBGRx, bytes, c.stride, c.width, c.height, out), c.accepted)
        << c.what;
    if (!c.accepted) {
      EXPECT_EQ(out, std::vector<std::uint32_t>{7}) << c.what << ": untouched";
    }
  }
}

// ---- the frame store --------------------------------------------------------

// A BGRx buffer whose pixel (x, y) reads as `base + y * 256 + x`.
struct Frame {
  std::int32_t width;
  std::int32_t height;
  std::uint32_t base;
  std::vector<std::uint8_t> bytes;

  Frame(std::int32_t w, std::int32_t h, std::uint32_t b) : width(w), height(h), base(b) {
    for (std::int32_t y = 0; y < h; ++y) {
      for (std::int32_t x = 0; x < w; ++x) {
        const std::uint32_t value = At(x, y);
        bytes.insert(bytes.end(),
                     {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                      static_cast<std::uint8_t>(value >> 16), 0});
      }
    }
  }
  std::uint32_t At(std::int32_t x, std::int32_t y) const {
    return base + static_cast<std::uint32_t>(y * 256 + x);
  }
  StreamBuffer Buffer(std::optional<CursorMeta> cursor = std::nullopt) const {
    return {PixelLayout::kBGRx, width, height, static_cast<std::size_t>(width) * 4, bytes, cursor};
  }
  // What a cursor-only update looks like: the stream's size, no pixels.
  StreamBuffer CursorOnly(CursorMeta cursor) const {
    return {PixelLayout::kBGRx, width, height, static_cast<std::size_t>(width) * 4, {}, cursor};
  }
};

Picture Copy(const FrameStore& store, ScreenRect rect) {
  Picture picture;
  EXPECT_TRUE(store.CopyRect(rect, picture));
  return picture;
}

TEST(FrameStore, PointerFollowsCursorMetadata) {
  const Frame frame(40, 30, 0x100000);
  const ScreenPoint unchanged{-1, -1};  // marks "as before"
  const struct {
    const char* what;
    StreamBuffer buffer;
    std::optional<ScreenPoint> expected;
  } steps[] = {
      {"no metadata yet", frame.Buffer(), std::nullopt},
      {"id 0: no pointer yet", frame.Buffer(CursorMeta{0, 5, 5}), std::nullopt},
      {"a position, with pixels", frame.Buffer(CursorMeta{3, 10, 20}), ScreenPoint{110, 220}},
      {"cursor-only update", frame.CursorOnly({3, 11, 21}), ScreenPoint{111, 221}},
      {"id 0 keeps the last position", frame.CursorOnly({0, 0, 0}), unchanged},
      {"a buffer without metadata keeps it", frame.Buffer(), unchanged},
      {"the pointer left the monitor", frame.CursorOnly({3, 40, 5}), std::nullopt},
      {"and came back", frame.CursorOnly({3, 39, 29}), ScreenPoint{139, 229}},
  };
  FrameStore store({ScreenRect{100, 200, 40, 30}});
  std::optional<ScreenPoint> last;
  for (const auto& step : steps) {
    store.Accept(0, step.buffer);
    const std::optional<ScreenPoint> expected = step.expected == unchanged ? last : step.expected;
    EXPECT_EQ(store.Pointer(), expected) << step.what;
    last = store.Pointer();
  }
}

TEST(FrameStore, CursorOnlyBuffersKeepThePreviousPicture) {
  const Frame first(8, 6, 0x010000);
  FrameStore store({ScreenRect{0, 0, 8, 6}});
  Picture none;
  EXPECT_FALSE(store.CopyRect({0, 0, 8, 6}, none)) << "no picture before the first buffer";
  store.Accept(0, first.CursorOnly({1, 2, 2}));
  EXPECT_FALSE(store.CopyRect({0, 0, 8, 6}, none)) << "a cursor update is not a picture";

  store.Accept(0, first.Buffer());
  store.Accept(0, first.CursorOnly({1, 3, 3}));
  const Picture picture = Copy(store, {0, 0, 8, 6});
  EXPECT_EQ(picture.At(7, 5), first.At(7, 5));

  const Frame second(8, 6, 0x020000);
  store.Accept(0, second.Buffer());
  EXPECT_EQ(Copy(store, {0, 0, 8, 6}).At(7, 5), second.At(7, 5));
}

TEST(FrameStore, AMalformedBufferKeepsTheOldPictureAndItsSize) {
  const Frame small(8, 6, 0x010000);
  FrameStore store({ScreenRect{0, 0, 8, 6}});
  store.Accept(0, small.Buffer());
  // The stream grew, but this buffer holds too few bytes for the new size.
  StreamBuffer short_buffer = small.Buffer();
  short_buffer.width = 16;
  short_buffer.height = 12;
  short_buffer.stride = 64;
  store.Accept(0, short_buffer);
  const Picture picture = Copy(store, {0, 0, 8, 6});
  EXPECT_EQ(picture.At(7, 5), small.At(7, 5));
}

// Pixels of the rectangle, row by row, as "monitor value" or 0 (black).
TEST(FrameStore, CopiesFromTheMonitorUnderThePointerWithBlackBeyondIt) {
  const Frame left(10, 10, 0x100000);
  const Frame right(10, 10, 0x200000);
  FrameStore store({ScreenRect{0, 0, 10, 10}, ScreenRect{10, 0, 10, 10}});
  store.Accept(0, left.Buffer());
  store.Accept(1, right.Buffer());

  const struct {
    const char* what;
    std::optional<CursorMeta> right_cursor;  // else the pointer is on the left monitor
    ScreenRect rect;
    std::uint32_t first_pixel;  // at (0, 0) of the picture
    std::uint32_t last_pixel;   // at the bottom-right corner
  } cases[] = {
      {"inside the left monitor", std::nullopt, {2, 2, 4, 4}, left.At(2, 2), left.At(5, 5)},
      {"top-left corner off screen", std::nullopt, {-2, -3, 4, 4}, 0, left.At(1, 0)},
      {"across the seam, pointer left", std::nullopt, {8, 0, 4, 2}, left.At(8, 0), 0},
      {"across the seam, pointer right", CursorMeta{1, 0, 0}, {8, 0, 4, 2}, 0, right.At(1, 1)},
      {"bottom-right corner off screen", CursorMeta{1, 9, 9}, {18, 8, 4, 4}, right.At(8, 8), 0},
  };
  for (const auto& c : cases) {
    store.Accept(0, left.CursorOnly({1, 5, 5}));
    if (c.right_cursor) {
      store.Accept(0, left.CursorOnly({1, -1, -1}));
      store.Accept(1, right.CursorOnly(*c.right_cursor));
    }
    const Picture picture = Copy(store, c.rect);
    ASSERT_EQ(picture.width, c.rect.width) << c.what;
    ASSERT_EQ(picture.height, c.rect.height) << c.what;
    EXPECT_EQ(picture.At(0, 0), c.first_pixel) << c.what;
    EXPECT_EQ(picture.At(c.rect.width - 1, c.rect.height - 1), c.last_pixel) << c.what;
  }
}

TEST(FrameStore, WithoutAPointerTheRectangleCentreChoosesTheMonitor) {
  const Frame left(10, 10, 0x100000);
  const Frame right(10, 10, 0x200000);
  FrameStore store({ScreenRect{0, 0, 10, 10}, ScreenRect{10, 0, 10, 10}});
  store.Accept(0, left.Buffer());
  store.Accept(1, right.Buffer());
  EXPECT_EQ(Copy(store, {12, 2, 4, 4}).At(0, 0), right.At(2, 2));
  EXPECT_EQ(Copy(store, {2, 2, 4, 4}).At(0, 0), left.At(2, 2));
}

// A monitor of scale 2: 10x10 logical pixels at (100, 0) in a 20x20 buffer.
TEST(FrameStore, ScaledMonitorsMapLogicalPointsToPhysicalPixels) {
  const Frame frame(20, 20, 0x300000);
  FrameStore store({ScreenRect{100, 0, 10, 10}});
  store.Accept(0, frame.Buffer(CursorMeta{1, 9, 13}));
  EXPECT_EQ(store.Pointer(), (ScreenPoint{104, 6}));

  const struct {
    ScreenRect rect;  // centred on a logical point; physical pixels around it
    std::uint32_t centre;
  } cases[] = {
      {{105 - 2, 5 - 2, 5, 5}, frame.At(10, 10)},
      {{100 - 3, 0 - 3, 7, 7}, frame.At(0, 0)},
      {{109 - 1, 9 - 1, 3, 3}, frame.At(18, 18)},
  };
  for (const auto& c : cases) {
    const Picture picture = Copy(store, c.rect);
    EXPECT_EQ(picture.At(c.rect.width / 2, c.rect.height / 2), c.centre)
        << c.rect.left << "," << c.rect.top;
  }
  // Left of the monitor's first physical column is black.
  EXPECT_EQ(Copy(store, {100 - 3, 0 - 3, 7, 7}).At(2, 3), 0u);
}

TEST(FrameStore, CountsTheMonitorsThatSentAPicture) {
  const Frame frame(4, 4, 0x010000);
  FrameStore store({ScreenRect{0, 0, 4, 4}, ScreenRect{4, 0, 4, 4}});
  const std::chrono::milliseconds now(0);
  EXPECT_FALSE(store.WaitForPictures(1, now));
  store.Accept(7, frame.Buffer());  // no such monitor: ignored
  EXPECT_FALSE(store.WaitForPictures(1, now));
  store.Accept(0, frame.Buffer());
  EXPECT_TRUE(store.WaitForPictures(1, now));
  EXPECT_FALSE(store.WaitForPictures(2, now));
  store.Accept(1, frame.CursorOnly({1, 1, 1}));
  EXPECT_FALSE(store.WaitForPictures(2, now)) << "a cursor update is not a picture";
  store.Accept(1, frame.Buffer());
  EXPECT_TRUE(store.WaitForPictures(2, now));
}

TEST(FrameStore, TheSharingHasEndedOnlyWhenEveryStreamHas) {
  const Frame frame(4, 4, 0x010000);
  FrameStore store({ScreenRect{0, 0, 4, 4}, ScreenRect{4, 0, 4, 4}});
  store.Accept(0, frame.Buffer());
  store.EndStream(9);  // no such monitor: ignored
  store.EndStream(0);
  EXPECT_FALSE(store.AllStreamsEnded()) << "one monitor unplugged, the other still shared";
  EXPECT_EQ(Copy(store, {0, 0, 4, 4}).At(1, 1), frame.At(1, 1)) << "the last picture stays";
  store.EndStream(1);
  EXPECT_TRUE(store.AllStreamsEnded());
}

// A monitor on which nothing has changed since the stream began may have
// sent no picture; it reads black while another has sent one.
TEST(FrameStore, AMonitorWithoutAPictureYetReadsBlack) {
  const Frame left(10, 10, 0x100000);
  const Frame right(10, 10, 0x200000);
  FrameStore store({ScreenRect{0, 0, 10, 10}, ScreenRect{10, 0, 10, 10}});
  Picture picture;
  store.Accept(1, right.CursorOnly({1, 2, 2}));
  EXPECT_FALSE(store.CopyRect({10, 0, 4, 4}, picture)) << "no picture anywhere yet";
  store.Accept(0, left.Buffer());
  picture = Copy(store, {10, 0, 4, 4});
  EXPECT_EQ(picture.At(0, 0), 0u);
  EXPECT_EQ(picture.At(3, 3), 0u);
  store.Accept(1, right.Buffer());
  EXPECT_EQ(Copy(store, {10, 0, 4, 4}).At(3, 3), right.At(3, 3));
}

// ---- the port adapter -------------------------------------------------------

TEST(WaylandScreen, CapturesABmpOfTheRectangleAndReportsThePointer) {
  const Frame frame(6, 4, 0x400000);
  FrameStore store({ScreenRect{0, 0, 6, 4}});
  store.Accept(0, frame.Buffer(CursorMeta{1, 3, 2}));

  WaylandScreen following(store, true);
  const std::optional<Picture> picture = DecodeBmp(following.CaptureScreenRect(-1, 1, 4, 4));
  ASSERT_TRUE(picture);
  ASSERT_EQ(picture->width, 4);
  ASSERT_EQ(picture->height, 4);
  EXPECT_EQ(picture->At(0, 0), 0u) << "left of the screen";
  EXPECT_EQ(picture->At(1, 0), frame.At(0, 1));
  EXPECT_EQ(picture->At(3, 2), frame.At(2, 3));
  EXPECT_EQ(picture->At(3, 3), 0u) << "below the screen";
  EXPECT_EQ(following.QueryPointer(), (ScreenPoint{3, 2}));

  WaylandScreen fixed(store, false);
  EXPECT_EQ(fixed.QueryPointer(), std::nullopt) << "never pretends to follow";
  EXPECT_TRUE(fixed.CaptureScreenRect(0, 0, 0, 4).empty());
  Picture pixels;
  ASSERT_TRUE(fixed.CapturePixelsInto(pixels, ScreenRect{-1, 1, 4, 4}));
  for (std::int32_t y = 0; y < 4; ++y) {
    for (std::int32_t x = 0; x < 4; ++x) EXPECT_EQ(pixels.At(x, y), picture->At(x, y));
  }
}

}  // namespace
}  // namespace orvamy::wayland
