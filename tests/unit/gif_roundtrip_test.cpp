// Round trips through giflib, an independent decoder: what a viewer shows
// after each frame (disposal and transparency applied) against what went in.
#if ORVAMY_HAVE_GIFLIB

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "gif_test_support.h"
#include "output/gif/gif_frame_diff.h"
#include "output/gif/gif_palette.h"

namespace orvamy {
namespace {

using namespace gif_test;

struct Shown {
  int delay = 0;
  Picture screen;
};

// The table a frame's indices refer to: its own, else the global one.
const ColorMapObject* TableOf(const GifFileType* gif, const SavedImage& image) {
  return image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
}

// Decodes with giflib and replays the frames onto the logical screen.
std::vector<Shown> Replay(const fs::path& path) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.string().c_str(), &error);
  EXPECT_NE(gif, nullptr) << GifErrorString(error);
  if (!gif) return {};
  EXPECT_EQ(DGifSlurp(gif), GIF_OK) << GifErrorString(gif->Error);
  std::vector<Shown> shown;
  Picture screen = Solid(gif->SWidth, gif->SHeight, 0);
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& image = gif->SavedImages[i];
    GraphicsControlBlock gcb{};
    DGifSavedExtensionToGCB(gif, i, &gcb);
    const ColorMapObject* map = TableOf(gif, image);
    const GifImageDesc& d = image.ImageDesc;
    EXPECT_NE(map, nullptr);
    EXPECT_LE(d.Left + d.Width, gif->SWidth);
    EXPECT_LE(d.Top + d.Height, gif->SHeight);
    for (int y = 0; y < d.Height; ++y) {
      for (int x = 0; x < d.Width; ++x) {
        const int index = image.RasterBits[y * d.Width + x];
        if (index == gcb.TransparentColor) continue;
        EXPECT_LT(index, map->ColorCount);
        const GifColorType c = map->Colors[index];
        screen.pixels[static_cast<std::size_t>(d.Top + y) * screen.width + d.Left + x] =
            static_cast<std::uint32_t>(c.Red) << 16 | static_cast<std::uint32_t>(c.Green) << 8 |
            c.Blue;
      }
    }
    shown.push_back({gcb.DelayTime, screen});
  }
  DGifCloseFile(gif, &error);
  return shown;
}

fs::path Record(const ScratchDir& dir, const std::vector<Picture>& frames, int info_w, int info_h,
                std::uint16_t delay = 10, bool lossless = false) {
  GifMaker maker;
  AnimationInfo info;
  FrameInfo frame;
  BeginAnimation(maker, info, BeginOptions{dir.path(), lossless});
  info.width = static_cast<std::uint16_t>(info_w);
  info.height = static_cast<std::uint16_t>(info_h);
  frame.delay = delay;
  for (const Picture& p : frames) AddFrame(maker, frame, EncodeBmp24(p));
  info.frame_count = static_cast<std::int32_t>(frames.size());
  const SaveResult saved = SaveAnimation(maker, (dir.path() / "r.gif").string());
  EXPECT_TRUE(saved) << saved.error;
  return saved.written_path;
}

Picture Crop(const Picture& p, int w, int h) {
  Picture out = Solid(w, h, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) out.pixels[static_cast<std::size_t>(y) * w + x] = p.At(x, y);
  return out;
}

// Changes a small area, as a caret or a pointer marker would.
Picture Touch(Picture p, int x, int y, std::uint32_t colour) {
  for (int dy = 0; dy < 3 && y + dy < p.height; ++dy)
    for (int dx = 0; dx < 4 && x + dx < p.width; ++dx)
      p.pixels[static_cast<std::size_t>(y + dy) * p.width + x + dx] = colour;
  return p;
}

TEST(GifRoundTrip, FramesOfFewColoursComeBackPixelExactAtEverySize) {
  const struct {
    int w, h;
  } sizes[] = {{1, 1}, {1, 9}, {9, 1}, {2, 2}, {37, 21}, {350, 250}};
  for (const auto& s : sizes) {
    SCOPED_TRACE(testing::Message() << s.w << "x" << s.h);
    ScratchDir dir;
    const Picture base = FewColours(s.w, s.h, 0);
    const std::vector<Picture> frames = {
        base, Touch(base, s.w / 2, s.h / 2, 0x3366CC), FewColours(s.w, s.h, 4, 8),
        Touch(FewColours(s.w, s.h, 4, 8), 0, 0, 0xFF0000), Solid(s.w, s.h, 0x000000),
        Solid(s.w, s.h, 0xFFFFFF)};
    const auto shown = Replay(Record(dir, frames, s.w, s.h));
    std::vector<Picture> distinct;
    for (const Picture& p : frames)
      if (distinct.empty() || distinct.back().pixels != p.pixels) distinct.push_back(p);
    ASSERT_EQ(shown.size(), distinct.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
      EXPECT_EQ(shown[i].screen.pixels, distinct[i].pixels) << "frame " << i;
      EXPECT_EQ(shown[i].delay, 10);
    }
  }
}

TEST(GifRoundTrip, TheLogicalScreenComesFromTheFramesAndOtherSizesFitIntoIt) {
  const Picture a = FewColours(40, 30, 1);
  const Picture big = FewColours(60, 45, 2);
  const Picture small = Solid(10, 8, 0x00AA00);
  const struct {
    const char* name;
    int info_w, info_h;
  } infos[] = {{"as recorded", 40, 30}, {"zero", 0, 0}, {"never had", 500, 500}};
  for (const auto& c : infos) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const auto shown = Replay(Record(dir, {a, big, small}, c.info_w, c.info_h));
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].screen.width, 40);
    EXPECT_EQ(shown[0].screen.height, 30);
    EXPECT_EQ(shown[0].screen.pixels, a.pixels);
    EXPECT_EQ(shown[1].screen.pixels, Crop(big, 40, 30).pixels);  // cropped
    Picture expected = Crop(big, 40, 30);                           // small one at the top left
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 10; ++x) expected.pixels[static_cast<std::size_t>(y) * 40 + x] = 0x00AA00;
    EXPECT_EQ(shown[2].screen.pixels, expected.pixels);
  }
}

TEST(GifRoundTrip, ManyColoursStayCloseAndUnchangedAreasStayExactlyAsShown) {
  ScratchDir dir;
  const Picture photo = ManyColours(120, 90, 0);
  Picture moved = photo;
  for (int y = 40; y < 50; ++y)
    for (int x = 0; x < 120; ++x) moved.pixels[static_cast<std::size_t>(y) * 120 + x] = ManyColours(120, 90, 9).At(x, y);
  const auto shown = Replay(Record(dir, {photo, moved}, 120, 90));
  ASSERT_EQ(shown.size(), 2u);
  double error = 0;
  for (std::size_t i = 0; i < photo.pixels.size(); ++i) {
    for (int shift : {0, 8, 16}) {
      error += std::abs(static_cast<int>((photo.pixels[i] >> shift) & 0xFF) -
                        static_cast<int>((shown[0].screen.pixels[i] >> shift) & 0xFF));
    }
  }
  EXPECT_LT(error / (3.0 * static_cast<double>(photo.pixels.size())), 6.0);
  // Rows outside the changed band are exactly what the first frame showed.
  for (int y : {0, 39, 50, 89}) {
    for (int x = 0; x < 120; ++x) {
      ASSERT_EQ(shown[1].screen.At(x, y), shown[0].screen.At(x, y)) << x << "," << y;
    }
  }
}

// Every opaque pixel of every frame against the frame's own table: its
// source colour, or where that is not in the table an entry as near as any.
TEST(GifRoundTrip, LosslessWritesEachPixelInItsNearestTableColour) {
  ScratchDir dir;
  const std::vector<Picture> frames = {ManyColours(90, 60, 0), ManyColours(90, 60, 7),
                                       FewColours(90, 60, 1), ManyColours(90, 60, 3)};
  const fs::path path = Record(dir, frames, 90, 60, 10, true);
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.string().c_str(), &error);
  ASSERT_NE(gif, nullptr);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK);
  ASSERT_EQ(gif->ImageCount, static_cast<int>(frames.size()));
  const auto colour = [](const GifColorType& c) {
    return static_cast<std::uint32_t>(c.Red) << 16 | static_cast<std::uint32_t>(c.Green) << 8 | c.Blue;
  };
  for (int f = 0; f < gif->ImageCount; ++f) {
    const SavedImage& image = gif->SavedImages[f];
    GraphicsControlBlock gcb{};
    DGifSavedExtensionToGCB(gif, f, &gcb);
    const ColorMapObject* map = TableOf(gif, image);
    ASSERT_NE(map, nullptr);
    const GifImageDesc& d = image.ImageDesc;
    int worse = 0;
    for (int y = 0; y < d.Height; ++y) {
      for (int x = 0; x < d.Width; ++x) {
        const int index = image.RasterBits[y * d.Width + x];
        if (index == gcb.TransparentColor) continue;
        const std::uint32_t want = frames[static_cast<std::size_t>(f)].At(d.Left + x, d.Top + y);
        std::int64_t best = INT64_MAX;
        for (int k = 0; k < map->ColorCount; ++k) {
          if (k != gcb.TransparentColor) best = std::min(best, gif::Distance(colour(map->Colors[k]), want));
        }
        if (gif::Distance(colour(map->Colors[index]), want) > best) ++worse;
      }
    }
    EXPECT_EQ(worse, 0) << "frame " << f;
  }
  DGifCloseFile(gif, &error);
}

// A rectangle (white frame, blue fill) glides across a background, one step
// per frame.
std::vector<Picture> Glide(const Picture& background, int frames) {
  std::vector<Picture> out;
  for (int f = 0; f < frames; ++f) {
    Picture p = background;
    const int left = 3 * f % (p.width - 24), top = 5 + f % (p.height - 24);
    for (int y = top; y < top + 18; ++y) {
      for (int x = left; x < left + 22; ++x) {
        const bool edge = y == top || y == top + 17 || x == left || x == left + 21;
        p.pixels[static_cast<std::size_t>(y) * p.width + x] = edge ? 0xFFFFFF : 0x2050C0;
      }
    }
    out.push_back(std::move(p));
  }
  return out;
}

// A grey frame, then the picture moving left by 2 pixels a frame, its left
// edge coming back on the right (the grey first frame gives the file a
// global table the picture's colours are not in).
std::vector<Picture> Scroll(const Picture& background, int frames) {
  std::vector<Picture> out = {Solid(background.width, background.height, 0x808080)};
  for (int f = 0; f < frames; ++f) {
    Picture p = background;
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x)
        p.pixels[static_cast<std::size_t>(y) * p.width + x] = background.At((x + 2 * f) % p.width, y);
    out.push_back(std::move(p));
  }
  return out;
}

// What the viewer sees after every frame, decoded by giflib, against that
// frame's own source: within the error the source's neighbourhood allows, or
// no farther than the nearest entry of the table that last wrote the pixel.
// Flat areas allow none: exact, or the nearest table colour.
TEST(GifRoundTrip, EveryShownPixelStaysWithinItsBoundOfTheCurrentFrame) {
  constexpr int kW = 160, kH = 120;
  Picture gradient = Solid(kW, kH, 0);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      gradient.pixels[static_cast<std::size_t>(y) * kW + x] =
          static_cast<std::uint32_t>(40 + x) << 16 | static_cast<std::uint32_t>(30 + y) << 8 | 0x60;
  Picture flat = Solid(kW, kH, 0x1E1E1E);  // a dark panel with a photo in one corner
  for (int y = 80; y < kH; ++y)
    for (int x = 100; x < kW; ++x)
      flat.pixels[static_cast<std::size_t>(y) * kW + x] = ManyColours(kW, kH, 3).At(x, y);
  // 122 flat colours in blocks with seams of 10 colours a little off: a
  // scroll rewrites them all, and the seams may lose their own colours so
  // that the table fits 128 entries.
  Picture seams = Solid(kW, kH, 0);
  const auto block = [](int b) {
    return static_cast<std::uint32_t>((b * 37) % 256) << 16 | static_cast<std::uint32_t>((b * 91) % 256) << 8 |
           static_cast<std::uint32_t>((b * 53) % 256);
  };
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const int b = (x / 6 + (y / 20) * 27) % 122;
      seams.pixels[static_cast<std::size_t>(y) * kW + x] = x % 6 == 0 ? block(b % 10) ^ 0x030303 : block(b);
    }
  // The same with every seam pixel up to three levels off its seam colour in
  // red and green: more than 256 colours, so quantised, and the table's seam
  // entries may give way to others.
  Picture varied = seams;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; x += 6) {
      const auto v = static_cast<std::uint32_t>((y * 5 + x / 6) % 16);
      varied.pixels[static_cast<std::size_t>(y) * kW + x] ^= (v & 3) << 16 | (v >> 2) << 8;
    }
  const struct {
    const char* name;
    const Picture& background;
    bool lossless;  // no allowance anywhere: the nearest table colour at worst
    bool scroll;    // the background moves left, else a rectangle glides over it
  } cases[] = {{"smooth gradient", gradient, false, false},
               {"flat colour", flat, false, false},
               {"smooth gradient, lossless", gradient, true, false},
               {"blocks with seams, scrolling", seams, false, true},
               {"blocks with varied seams, scrolling", varied, false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const std::vector<Picture> frames = c.scroll ? Scroll(c.background, 30) : Glide(c.background, 50);
    const fs::path path = Record(dir, frames, kW, kH, 10, c.lossless);
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.string().c_str(), &error);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    ASSERT_EQ(gif->ImageCount, static_cast<int>(frames.size()));
    std::vector<std::uint32_t> shown(kW * kH, 0);
    std::vector<int> writer(kW * kH, -1);  // the frame that last wrote each pixel
    int faults = 0;
    for (int f = 0; f < gif->ImageCount && faults < 10; ++f) {
      const SavedImage& image = gif->SavedImages[f];
      GraphicsControlBlock gcb{};
      DGifSavedExtensionToGCB(gif, f, &gcb);
      const GifImageDesc& d = image.ImageDesc;
      for (int y = 0; y < d.Height; ++y) {
        for (int x = 0; x < d.Width; ++x) {
          const int index = image.RasterBits[y * d.Width + x];
          if (index == gcb.TransparentColor) continue;
          const GifColorType colour = TableOf(gif, image)->Colors[index];
          const std::size_t at = static_cast<std::size_t>(d.Top + y) * kW + d.Left + x;
          shown[at] = static_cast<std::uint32_t>(colour.Red) << 16 |
                      static_cast<std::uint32_t>(colour.Green) << 8 | colour.Blue;
          writer[at] = f;
        }
      }
      const std::vector<std::uint32_t>& source = frames[static_cast<std::size_t>(f)].pixels;
      for (std::size_t at = 0; at < shown.size() && faults < 10; ++at) {
        if (writer[at] < 0) {
          ++faults;
          ADD_FAILURE() << "frame " << f << ": pixel " << at << " never written";
          continue;
        }
        const SavedImage& by = gif->SavedImages[writer[at]];
        GraphicsControlBlock by_gcb{};
        DGifSavedExtensionToGCB(gif, writer[at], &by_gcb);
        std::int64_t nearest = INT64_MAX;
        const ColorMapObject* by_table = TableOf(gif, by);
        for (int k = 0; k < by_table->ColorCount; ++k) {
          if (k == by_gcb.TransparentColor) continue;
          const GifColorType e = by_table->Colors[k];
          const std::uint32_t entry = static_cast<std::uint32_t>(e.Red) << 16 |
                                      static_cast<std::uint32_t>(e.Green) << 8 | e.Blue;
          nearest = std::min(nearest, gif::Distance(entry, source[at]));
        }
        const std::int64_t allowed =
            c.lossless ? 0 : gif::AllowedError(source, kW, kH, at % kW, at / kW, 300);
        const std::int64_t seen = gif::Distance(shown[at], source[at]);
        if (seen > std::max(allowed, nearest)) {
          ++faults;
          ADD_FAILURE() << "frame " << f << " pixel (" << at % kW << "," << at / kW << "): shown "
                        << std::hex << shown[at] << " for " << source[at] << std::dec << ", error "
                        << seen << " > allowed " << allowed << " / nearest " << nearest;
        }
      }
    }
    DGifCloseFile(gif, &error);
  }
}

TEST(GifRoundTrip, LargeFramesInARowKeepTheirOwnColours) {
  // Frames above the size whose LZW work the two threads share, one after
  // another, so that later frames reuse the memory of earlier ones: photo-like
  // frames (quantised, lossy LZW), with a few-colour frame (exact, unchanged
  // pixels written either way) in between.
  ScratchDir dir;
  constexpr int kW = 480, kH = 320;
  Picture stripes = Solid(kW, kH, 0x102030);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if ((x / 7 + y / 5) % 3 == 0) stripes.pixels[static_cast<std::size_t>(y) * kW + x] = 0xE0C040;
  Picture shifted = stripes;  // a band moves: its unchanged pixels may be written either way
  for (int y = 100; y < 200; ++y)
    for (int x = 0; x < kW; ++x)
      shifted.pixels[static_cast<std::size_t>(y) * kW + x] = ((x / 7 + y / 5) % 3 == 1) ? 0xE0C040 : 0x102030;
  const std::vector<Picture> frames = {ManyColours(kW, kH, 0), ManyColours(kW, kH, 5), stripes, shifted,
                                       ManyColours(kW, kH, 9), ManyColours(kW, kH, 13)};
  const auto shown = Replay(Record(dir, frames, kW, kH));
  ASSERT_EQ(shown.size(), frames.size());
  for (std::size_t f = 0; f < frames.size(); ++f) {
    if (f == 2 || f == 3) {
      EXPECT_EQ(shown[f].screen.pixels, frames[f].pixels) << "frame " << f;
      continue;
    }
    double error = 0;
    for (std::size_t i = 0; i < frames[f].pixels.size(); ++i) {
      for (int shift : {0, 8, 16}) {
        error += std::abs(static_cast<int>((frames[f].pixels[i] >> shift) & 0xFF) -
                          static_cast<int>((shown[f].screen.pixels[i] >> shift) & 0xFF));
      }
    }
    // These frames span red, green and blue at once: 255 entries leave about
    // 9 to 11 levels on average; stale memory from an earlier frame would not.
    EXPECT_LT(error / (3.0 * static_cast<double>(frames[f].pixels.size())), 12.0) << "frame " << f;
  }
}

// The first frame's table becomes the file's global table; a later frame
// whose colours are all in it is written with it and carries none. Here the
// first frame is quantised (a photo beside flat areas, so the table may hold
// a colour twice), and the second paints blocks of every colour the first
// frame's table holds over the photo: each must come back exactly.
TEST(GifRoundTrip, AFrameOfTheFirstFramesColoursUsesTheGlobalTableExactly) {
  constexpr int kW = 160, kH = 120;
  const struct {
    const char* name;
    std::vector<std::uint32_t> flats;  // flat bands across the left half
  } cases[] = {{"dark panel", {0x1E1E1E}},
               {"cards", {0xF5F6F7, 0xFFFFFF, 0x2D7FF9, 0xE2E3E4}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Picture first = ManyColours(kW, kH, 3);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW / 2; ++x)
        first.pixels[static_cast<std::size_t>(y) * kW + x] = c.flats[static_cast<std::size_t>(y * c.flats.size() / kH)];
    // The flat colours also as single pixels over the photo (as text would
    // be): counted there, they can make a table entry of their own beside
    // the one the flat area gets.
    for (int y = 0; y < kH; ++y)
      for (int x = kW / 2; x < kW; x += 3)
        if ((x + y) % 2 == 0) first.pixels[static_cast<std::size_t>(y) * kW + x] = c.flats[static_cast<std::size_t>(y) % c.flats.size()];
    ScratchDir first_dir;
    const auto alone = Replay(Record(first_dir, {first}, kW, kH));
    ASSERT_EQ(alone.size(), 1u);
    std::vector<std::uint32_t> table;  // the colours the first frame shows, as its table holds them
    for (const std::uint32_t colour : alone[0].screen.pixels)
      if (std::find(table.begin(), table.end(), colour) == table.end()) table.push_back(colour);
    Picture second = first;
    for (int y = 0; y < kH; ++y)
      for (int x = kW / 2; x < kW; ++x)
        second.pixels[static_cast<std::size_t>(y) * kW + x] = table[static_cast<std::size_t>((y / 6) * 10 + (x - kW / 2) / 8) % table.size()];
    ScratchDir dir;
    const fs::path path = Record(dir, {first, second}, kW, kH);
    const auto shown = Replay(path);
    ASSERT_EQ(shown.size(), 2u);
    for (int y = 0; y < kH; ++y)
      for (int x = kW / 2; x < kW; ++x)
        ASSERT_EQ(shown[1].screen.At(x, y), second.At(x, y)) << x << "," << y;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.string().c_str(), &error);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    EXPECT_NE(gif->SColorMap, nullptr);
    EXPECT_EQ(gif->SavedImages[1].ImageDesc.ColorMap, nullptr) << "the second frame carries a table";
    DGifCloseFile(gif, &error);
  }
}

// Frames of exact colours after the first, whether the first frame left a
// global table or not: each must come back exactly. The global table holds
// the first frame's colours from the most used on, so a later frame of only
// frequent colours writes small indices with codes narrower than the table.
TEST(GifRoundTrip, LaterFramesOfExactColoursComeBackExactly) {
  constexpr int kW = 64, kH = 64;
  const auto colour = [](int k) {
    return static_cast<std::uint32_t>((k * 37) % 256) << 16 | static_cast<std::uint32_t>((k * 91) % 256) << 8 |
           static_cast<std::uint32_t>(k);
  };
  // 256 blocks of 4x4, each its own colour.
  Picture blocks = Solid(kW, kH, 0);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) blocks.pixels[static_cast<std::size_t>(y) * kW + x] = colour((y / 4) * 16 + x / 4);
  // 30 colours in bands, 70 more as single pixels over them.
  Picture bands = Solid(kW, kH, 0);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      bands.pixels[static_cast<std::size_t>(y) * kW + x] =
          x % 9 == 0 && y % 7 == 0 ? colour(30 + ((x / 9) * 10 + y / 7) % 70) : colour(y % 30);
  Picture rebanded = bands;  // rows 10 to 40 in the band colours only, shifted
  for (int y = 10; y <= 40; ++y)
    for (int x = 0; x < kW; ++x) rebanded.pixels[static_cast<std::size_t>(y) * kW + x] = colour((y + x / 8 + 3) % 30);
  const struct {
    const char* name;
    Picture first;
    std::vector<Picture> later;
    bool narrow;  // the later frames use the global table with narrower codes
  } cases[] = {
      // No room for a transparent entry: no global table, and a later
      // frame's colours are looked up in none.
      {"first frame of exactly 256 colours",
       blocks,
       {Touch(blocks, 20, 20, colour(5)), Touch(Touch(blocks, 20, 20, colour(5)), 40, 8, colour(200))},
       false},
      {"later frames of the first frame's most used colours", bands, {rebanded}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    std::vector<Picture> frames = {c.first};
    frames.insert(frames.end(), c.later.begin(), c.later.end());
    const fs::path path = Record(dir, frames, kW, kH);
    const auto shown = Replay(path);
    ASSERT_EQ(shown.size(), frames.size());
    for (std::size_t f = 0; f < frames.size(); ++f) EXPECT_EQ(shown[f].screen.pixels, frames[f].pixels) << "frame " << f;
    if (!c.narrow) continue;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.string().c_str(), &error);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    ASSERT_NE(gif->SColorMap, nullptr);
    const GifLayout layout = WalkGif(ReadAll(path));
    ASSERT_EQ(layout.images.size(), frames.size());
    for (std::size_t f = 1; f < frames.size(); ++f) {
      EXPECT_EQ(gif->SavedImages[f].ImageDesc.ColorMap, nullptr) << "frame " << f << " carries a table";
      EXPECT_LT(layout.images[f].min_code_size, gif->SColorMap->BitsPerPixel) << "frame " << f;
    }
    DGifCloseFile(gif, &error);
  }
}

TEST(GifRoundTrip, NoiseThatFillsTheCodeTableDecodes) {
  // Eight colours of noise over 400x300 runs the LZW table full many times.
  ScratchDir dir;
  Picture noise = Solid(400, 300, 0);
  std::mt19937 rng(7);
  static constexpr std::uint32_t kColours[] = {0, 0xFF, 0xFF00, 0xFF0000, 0xFFFF, 0xFFFF00, 0xFF00FF, 0xFFFFFF};
  for (auto& px : noise.pixels) px = kColours[rng() % 8];
  const auto shown = Replay(Record(dir, {noise}, 400, 300));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].screen.pixels, noise.pixels);
}

}  // namespace
}  // namespace orvamy

#endif  // ORVAMY_HAVE_GIFLIB
