#pragma once
// The streaming GIF encoder behind a GifMaker.
//
// Frames pass through two worker threads behind bounded queues (gif_queue.h),
// so AddFrame only copies the picture:
//   recorder thread: Add() copies the rows once into a pooled picture
//                    (AddBmp decodes a BMP file image into one instead);
//   frame thread:    fit to the logical screen; merge, replace and
//                    time pictures (gif_timeline); judge the next picture
//                    against what the viewer sees and find what must be
//                    written (gif_frame_diff); choose the table and indices
//                    (gif_indexer); compress the head of large frames;
//   writer thread:   LZW-compress (the tail of large frames), add the file's
//                    blocks (gif_syntax) and append to the spool file
//                    (gif_spool); then hand the frame back, with the indices
//                    LZW actually wrote, so the frame thread knows what shows.
// Save() drains both threads, ends the file and moves it into place.
// Memory stays flat: a few frames in flight, whatever the recording's length.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "output/gif/gif_builder.h"

namespace orvamy {

class GifEncoder {
 public:
  // Starts the worker threads and opens the temporary file for a GIF to be
  // saved in options.work_directory (see BeginOptions and gif::SpoolFile).
  GifEncoder(AnimationInfo& info, const BeginOptions& options);
  // Abandons an unsaved animation: stops the workers and removes the
  // temporary file.
  ~GifEncoder();
  GifEncoder(const GifEncoder&) = delete;
  GifEncoder& operator=(const GifEncoder&) = delete;

  // Called on the recorder thread only. Returns once the pixels are copied;
  // waits only when the workers are several frames behind.
  void Add(std::uint16_t delay, PixelView pixels, std::optional<FrameTiming> timing);
  // Called on the recorder thread only. The same for a BMP file image.
  void AddBmp(std::uint16_t delay, std::span<const std::uint8_t> picture,
              std::optional<FrameTiming> timing);

  // Called on the recorder thread only. See MarkAnimationEnd.
  void MarkEnd(std::chrono::steady_clock::time_point stop_time);

  // Called on the recorder thread only. See SaveAnimation.
  SaveResult Save(std::string_view path);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvamy
