#pragma once
// The streaming GIF encoder behind a GifMaker.
//
// Frames pass through two worker threads behind bounded queues, so AddFrame
// only copies the picture:
//   recorder thread: Add() copies the BMP bytes into a pooled buffer;
//   frame thread:    decode, fit to the logical screen, merge identical frames,
//                    time them, crop to the changed rectangle, build the colour
//                    table and the indices;
//   writer thread:   LZW-compress and append to a temporary file.
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
  // Starts the worker threads and opens the temporary file in
  // options.work_directory (the system's temporary folder when that fails).
  GifEncoder(AnimationInfo& info, const BeginOptions& options);
  // Abandons an unsaved animation: stops the workers and removes the
  // temporary file.
  ~GifEncoder();
  GifEncoder(const GifEncoder&) = delete;
  GifEncoder& operator=(const GifEncoder&) = delete;

  // Called on the recorder thread only. Returns once the bytes are copied;
  // waits only when the workers are several frames behind.
  void Add(std::uint16_t delay, std::span<const std::uint8_t> picture,
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
