// The three builder operations over the streaming encoder.
#include "output/gif/gif_builder.h"

#include "output/gif/gif_encoder.h"

namespace orvamy {

GifMaker::GifMaker() = default;
GifMaker::~GifMaker() = default;
GifMaker::GifMaker(GifMaker&&) noexcept = default;
GifMaker& GifMaker::operator=(GifMaker&&) noexcept = default;
void GifMaker::Reset(std::unique_ptr<GifEncoder> encoder) { encoder_ = std::move(encoder); }

void BeginAnimation(GifMaker& maker, AnimationInfo& info, const BeginOptions& options) {
  maker.Reset(nullptr);  // a maker serves one recording: drop any earlier one first
  maker.Reset(std::make_unique<GifEncoder>(info, options));
}

void AddFramePixels(GifMaker& maker, const FrameInfo& frame, PixelView pixels,
                    std::optional<FrameTiming> timing) {
  if (GifEncoder* encoder = maker.encoder()) encoder->Add(frame.delay, pixels, timing);
}

void AddFrame(GifMaker& maker, const FrameInfo& frame, std::span<const std::uint8_t> picture,
              std::optional<FrameTiming> timing) {
  if (GifEncoder* encoder = maker.encoder()) encoder->AddBmp(frame.delay, picture, timing);
}

void MarkAnimationEnd(GifMaker& maker, std::chrono::steady_clock::time_point stop_time) {
  if (GifEncoder* encoder = maker.encoder()) encoder->MarkEnd(stop_time);
}

SaveResult SaveAnimation(GifMaker& maker, std::string_view path) {
  GifEncoder* encoder = maker.encoder();
  if (!encoder) {
    SaveResult result;
    result.error = "no animation was begun";
    return result;
  }
  SaveResult result = encoder->Save(path);
  if (result.saved) maker.Reset(nullptr);
  return result;
}

}  // namespace orvamy
