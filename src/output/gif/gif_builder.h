#pragma once
// The GIF builder: one GifMaker per recording, described by an AnimationInfo
// and a FrameInfo record and driven by three operations, in this order:
//   BeginAnimation once, AddFramePixels (or AddFrame, its BMP form) per
//   captured frame, SaveAnimation once.
// All three are called on the recorder thread; a GifMaker is not shared.
//
// The records keep the layout the recorder has always written: the recorder
// fills in width, height and the frame count after BeginAnimation, so the
// builder reads the bound AnimationInfo again when it needs those values.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/pixels.h"

namespace orvamy {

// Animation header: nine 4-byte slots.
struct AnimationInfo {
  std::uint16_t width = 0;  // low 16 bits of the width box
  std::uint16_t width_high_unused = 0;
  std::uint16_t height = 0;  // low 16 bits of the height box
  std::uint16_t height_high_unused = 0;
  std::int32_t member8 = 1;  // set to 1 by the recorder; no meaning to the builder
  std::int16_t member12 = 0;
  std::uint16_t slot12_high_unused = 0;
  std::uint32_t slot16 = 0;
  std::uint32_t owned_reference20 = 0;  // never set
  std::int32_t frame_count = 0;         // written after the last AddFrame
  std::uint32_t slot28 = 0;
  std::uint32_t slot32 = 0;
};
static_assert(sizeof(AnimationInfo) == 36);
static_assert(offsetof(AnimationInfo, width) == 0 && offsetof(AnimationInfo, height) == 4);
static_assert(offsetof(AnimationInfo, member8) == 8 && offsetof(AnimationInfo, member12) == 12);
static_assert(offsetof(AnimationInfo, owned_reference20) == 20);
static_assert(offsetof(AnimationInfo, frame_count) == 24);

// Per-frame settings: eleven 4-byte slots.
struct FrameInfo {
  std::uint16_t delay = 60;  // hundredths of a second per frame
  std::uint16_t slot0_high_unused = 0;
  std::uint32_t slots4_to_28[7] = {};
  std::uint32_t owned_reference32 = 0;  // never set
  std::uint32_t slot36 = 0;
  std::uint32_t slot40 = 0;
};
static_assert(sizeof(FrameInfo) == 44);
static_assert(offsetof(FrameInfo, delay) == 0 && offsetof(FrameInfo, owned_reference32) == 32);

class GifEncoder;  // the streaming encoder behind a GifMaker (gif_encoder.h)

// The builder object: one pointer-sized word, empty until BeginAnimation.
// Destroying it abandons an unsaved animation and removes its temporary file.
class GifMaker {
 public:
  GifMaker();
  ~GifMaker();
  GifMaker(GifMaker&&) noexcept;
  GifMaker& operator=(GifMaker&&) noexcept;
  GifMaker(const GifMaker&) = delete;
  GifMaker& operator=(const GifMaker&) = delete;

  GifEncoder* encoder() const { return encoder_.get(); }
  void Reset(std::unique_ptr<GifEncoder> encoder);

 private:
  std::unique_ptr<GifEncoder> encoder_;
};
static_assert(sizeof(GifMaker) == sizeof(void*));

struct BeginOptions {
  // The folder the GIF will be saved in. The temporary file grows hidden in
  // the system's temporary folder when that is on the same volume (saving is
  // then a link), else beside the target. Empty: the system's temporary folder.
  std::filesystem::path work_directory;
  // True: every pixel is written in its exact colour or, where a frame has
  // too many colours, the nearest colour of the frame's table; no other
  // colour stands in for it to make the file smaller.
  bool lossless = false;
  // Written into the temporary file's name: the id of the process writing
  // it, so that a later start can remove the files of a process that has
  // ended (gif::RemoveStaleSpoolFiles). 0: unknown, never removed.
  std::uint64_t spool_owner = 0;
};

// The optional third argument of AddFrame: when the frame was captured. A
// frame lasts until the next frame's capture time (rounded to hundredths
// cumulatively, never below 2), so that the animation plays as long as it
// was recorded; frames without it last their nominal delay.
struct FrameTiming {
  std::chrono::steady_clock::time_point capture_time;
  // The exact interval the recorder paced this frame at (1000 / rate ms);
  // zero when unknown. Only the last frame needs it, when no end is marked.
  // A timed frame's whole-hundredth delay is not used at all: it truncates
  // the interval (30/s: 3 for 3.33) and would make the animation play fast.
  std::chrono::microseconds nominal_interval{0};
};

// Binds `info` to `maker` by reference: it must stay alive and unmoved until
// SaveAnimation has returned (or the maker is destroyed).
void BeginAnimation(GifMaker& maker, AnimationInfo& info, const BeginOptions& options = {});

// Copies `pixels` (the recorder's frame) before it returns; the caller may
// change them at once. An empty view is counted all the same: it lengthens
// the previous frame. The delay is read from `frame` now.
void AddFramePixels(GifMaker& maker, const FrameInfo& frame, PixelView pixels,
                    std::optional<FrameTiming> timing = std::nullopt);

// The same for `picture`, a 24- or 32-bit BMP file image (files, tools),
// decoded into the same pixel form before it returns; from there both take
// one path. An empty or undecodable picture lengthens the previous frame.
void AddFrame(GifMaker& maker, const FrameInfo& frame, std::span<const std::uint8_t> picture,
              std::optional<FrameTiming> timing = std::nullopt);

// Ends the last frame at `stop_time` (when recording stopped) instead of one
// frame period after its capture time; at least 2 hundredths all the same.
// Called after the last AddFrame and before SaveAnimation; without the call
// the last frame lasts its pacing interval (untimed frames: their delay).
void MarkAnimationEnd(GifMaker& maker, std::chrono::steady_clock::time_point stop_time);

struct SaveResult {
  bool saved = false;
  std::string written_path;  // the path actually written ("...-2.gif" when the name was taken)
  std::string error;         // why it failed, for the user
  explicit operator bool() const { return saved; }
};

// Writes the animation to `path`, or to path-2.gif, -3, ... when a file of
// that name exists; never overwrites. On failure nothing is left behind at the
// target and the frames are kept, so the caller may try another folder. On
// success the maker's state is released.
SaveResult SaveAnimation(GifMaker& maker, std::string_view path);

}  // namespace orvamy
