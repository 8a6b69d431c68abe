// Interim builder: keeps frames in memory with a fixed 3-3-2 palette and writes
// them with uncompressed LZW codes. Replaced by the streaming encoder.
#include "output/gif/gif_builder.h"

#include <cstdio>
#include <fstream>
#include <vector>

#include "capture/bmp.h"

namespace orvamy {

class GifEncoder {
 public:
  AnimationInfo* info = nullptr;
  struct Frame {
    std::int32_t width, height;
    std::uint16_t delay;
    std::vector<std::uint8_t> indices;
  };
  std::vector<Frame> frames;
};

GifMaker::GifMaker() = default;
GifMaker::~GifMaker() = default;
GifMaker::GifMaker(GifMaker&&) noexcept = default;
GifMaker& GifMaker::operator=(GifMaker&&) noexcept = default;
void GifMaker::Reset(std::unique_ptr<GifEncoder> encoder) { encoder_ = std::move(encoder); }

void BeginAnimation(GifMaker& maker, AnimationInfo& info, const BeginOptions&) {
  auto encoder = std::make_unique<GifEncoder>();
  encoder->info = &info;
  maker.Reset(std::move(encoder));
}

void AddFrame(GifMaker& maker, const FrameInfo& frame, std::span<const std::uint8_t> picture,
              std::optional<FrameTiming>) {
  GifEncoder* e = maker.encoder();
  if (!e) return;
  const auto decoded = DecodeBmp(picture);
  if (!decoded) {
    if (!e->frames.empty()) e->frames.back().delay = static_cast<std::uint16_t>(e->frames.back().delay + frame.delay);
    return;
  }
  GifEncoder::Frame f{decoded->width, decoded->height, frame.delay, {}};
  f.indices.reserve(decoded->pixels.size());
  for (std::uint32_t p : decoded->pixels) {
    const std::uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    f.indices.push_back(static_cast<std::uint8_t>((r & 0xE0) | ((g >> 3) & 0x1C) | (b >> 6)));
  }
  e->frames.push_back(std::move(f));
}

namespace {
void Put16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
}  // namespace

SaveResult SaveAnimation(GifMaker& maker, std::string_view path) {
  GifEncoder* e = maker.encoder();
  SaveResult result;
  if (!e || e->frames.empty()) {
    result.error = "no frames";
    return result;
  }
  const auto w = static_cast<unsigned>(e->frames.front().width);
  const auto h = static_cast<unsigned>(e->frames.front().height);
  std::vector<std::uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
  Put16(out, w);
  Put16(out, h);
  out.insert(out.end(), {0xF7, 0, 0});
  for (unsigned i = 0; i < 256; ++i) {
    out.push_back(static_cast<std::uint8_t>((i & 0xE0) * 255 / 0xE0));
    out.push_back(static_cast<std::uint8_t>(((i << 3) & 0xE0) * 255 / 0xE0));
    out.push_back(static_cast<std::uint8_t>(((i << 6) & 0xC0) * 255 / 0xC0));
  }
  const std::uint8_t loop[] = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.',
                               '0', 3, 1, 0, 0, 0};
  out.insert(out.end(), std::begin(loop), std::end(loop));
  for (const auto& f : e->frames) {
    out.insert(out.end(), {0x21, 0xF9, 4, 0});
    Put16(out, f.delay < 2 ? 2 : f.delay);
    out.insert(out.end(), {0, 0, 0x2C});
    Put16(out, 0);
    Put16(out, 0);
    const unsigned fw = std::min<unsigned>(w, static_cast<unsigned>(f.width));
    const unsigned fh = std::min<unsigned>(h, static_cast<unsigned>(f.height));
    Put16(out, fw);
    Put16(out, fh);
    out.push_back(0);
    out.push_back(8);
    // 9-bit codes, a clear code before every 254 literals so the width never grows.
    std::vector<std::uint8_t> data;
    std::uint32_t bits = 0, nbits = 0;
    const auto emit = [&](unsigned code) {
      bits |= code << nbits;
      nbits += 9;
      while (nbits >= 8) {
        data.push_back(static_cast<std::uint8_t>(bits));
        bits >>= 8;
        nbits -= 8;
      }
    };
    unsigned run = 0;
    for (unsigned y = 0; y < fh; ++y) {
      for (unsigned x = 0; x < fw; ++x) {
        if (run % 254 == 0) emit(256);
        emit(f.indices[y * static_cast<unsigned>(f.width) + x]);
        ++run;
      }
    }
    emit(257);
    if (nbits) data.push_back(static_cast<std::uint8_t>(bits));
    for (std::size_t i = 0; i < data.size(); i += 255) {
      const std::size_t n = std::min<std::size_t>(255, data.size() - i);
      out.push_back(static_cast<std::uint8_t>(n));
      out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                 data.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    out.push_back(0);
  }
  out.push_back(0x3B);
  std::string target(path);
  for (int n = 2; std::ifstream(target).good(); ++n) {
    target = std::string(path.substr(0, path.size() - 4)) + "-" + std::to_string(n) + ".gif";
  }
  std::ofstream file(target, std::ios::binary);
  file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  file.close();
  if (!file) {
    std::remove(target.c_str());
    result.error = "write failed";
    return result;
  }
  result.saved = true;
  result.written_path = target;
  maker.Reset(nullptr);
  return result;
}

}  // namespace orvamy
