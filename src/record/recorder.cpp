#include "record/recorder.h"

#include <chrono>
#include <cmath>
#include <span>

#include "form/main_window_layout.h"
#include "base/path_text.h"
#include "base/text_number.h"
#include "output/output_name.h"

namespace orvamy {
namespace {

using std::chrono::microseconds;

std::int32_t ReadRate(const ParameterBoxes& boxes) {
  const std::int32_t fps = TextToInt(boxes.RateText());
  return fps < 0 ? 0 : fps;  // a negative rate would mean a wait of weeks: no pause instead
}

}  // namespace

std::uint16_t FrameDelayForRate(std::int32_t fps) {
  if (fps <= 0) return 0;
  return static_cast<std::uint16_t>(TruncToInt32(100.0 / fps));
}

bool IsRecordableSize(std::int32_t width, std::int32_t height) {
  return width >= 1 && height >= 1 && width <= FrameCanvas::kMaxSide &&
         height <= FrameCanvas::kMaxSide &&
         static_cast<std::int64_t>(width) * height <= FrameCanvas::kMaxPixels;
}

std::int64_t FrameIntervalMicrosForRate(std::int32_t fps) {
  if (fps <= 0) return 0;
  return static_cast<std::int64_t>(1'000'000.0 / fps);
}

Recorder::Recorder(RecorderPorts ports) : ports_(std::move(ports)) {}

Recorder::~Recorder() { Shutdown(); }

void Recorder::StartRecording() {
  if (shutting_down_.load()) return;
  int expected = kIdle;
  if (!flag_.compare_exchange_strong(expected, kStarting)) return;  // one recording at a time
  ReapFinishedWorkers();
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::lock_guard lock(workers_mutex_);
  try {
    workers_.push_back(Worker{std::thread([this, done] {
                                RecordGif();
                                done->store(true);
                              }),
                              done});
  } catch (const std::system_error&) {
    flag_.store(kIdle);  // no thread: nothing happened
  }
}

void Recorder::StopRecording() {
  int current = flag_.load();
  while (true) {
    const int next = current == kStarting ? kStopWhileStarting
                     : current == kRecording ? kIdle
                                             : current;
    if (next == current || flag_.compare_exchange_weak(current, next)) return;
  }
}

void Recorder::Shutdown() {
  shutting_down_.store(true);
  flag_.store(kIdle);
  // A finishing thread may be about to show, or be showing, its outcome box:
  // keep closing boxes until every thread has ended.
  while (true) {
    {
      std::lock_guard lock(workers_mutex_);
      bool all_done = true;
      for (const Worker& w : workers_) all_done = all_done && w.done->load();
      if (all_done) break;
    }
    ports_.messages.DismissAll();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::lock_guard lock(workers_mutex_);
  for (Worker& w : workers_) w.thread.join();
  workers_.clear();
}

void Recorder::ReapFinishedWorkers() {
  std::lock_guard lock(workers_mutex_);
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (it->done->load()) {
      it->thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

void Recorder::RecordGif() {
  ports_.view.SetRecordEnabled(false);

  // A box that reads as 0 or less, or a size beyond what a frame can hold,
  // would record an animation of nothing: say so instead of starting.
  const std::int32_t width = TextToInt(ports_.boxes.WidthText());
  const std::int32_t height = TextToInt(ports_.boxes.HeightText());
  if (!IsRecordableSize(width, height)) {
    flag_.store(kIdle);
    ShowOutcome(std::string(kBadSizeMessage) + "宽 " + IntToText(width) + "，高 " +
                IntToText(height));
    RestoreWindowIfIdle();
    return;
  }

  GifMaker maker;
  AnimationInfo animation;
  FrameInfo frame_info;
  BeginOptions options;
  if (!ports_.locations.directories.empty()) {
    options.work_directory = PathFromUtf8(ports_.locations.directories.front());
  }
  options.spool_owner = ports_.locations.process_id;
  BeginAnimation(maker, animation, options);
  animation.member8 = 1;
  animation.member12 = 0;
  animation.width = static_cast<std::uint16_t>(TextToInt(ports_.boxes.WidthText()));
  animation.height = static_cast<std::uint16_t>(TextToInt(ports_.boxes.HeightText()));
  frame_info.delay = FrameDelayForRate(ReadRate(ports_.boxes));

  // A stop request made while starting has turned the flag into
  // kStopWhileStarting: the loop below then ends after its first frame.
  int expected = kStarting;
  flag_.compare_exchange_strong(expected, kRecording);

  animation.frame_count = CaptureFrames(maker, frame_info);
  expected = kStopWhileStarting;
  flag_.compare_exchange_strong(expected, kIdle);
  if (shutting_down_.load()) return;  // abandoned: the maker removes its temporary file
  Finish(maker);
}

std::int32_t Recorder::CaptureFrames(GifMaker& maker, const FrameInfo& frame_info) {
  FrameComposer composer({ports_.screen, ports_.pointer, ports_.boxes, ports_.position,
                          ports_.canvas});
  std::int32_t frame_count = 0;
  Clock::TimePoint deadline = ports_.clock.Now();
  do {
    ++frame_count;
    const Clock::TimePoint captured_at = ports_.clock.Now();
    const std::span<const std::uint8_t> picture = composer.Compose();
    // The rate box is read once per frame; the interval it gives is both this
    // frame's time on screen and the wait before the next capture.
    const microseconds interval(FrameIntervalMicrosForRate(ReadRate(ports_.boxes)));
    AddFrame(maker, frame_info, picture, FrameTiming{captured_at, interval});
    ports_.view.SetCaption(std::string(kFrameCountCaptionPrefix) + IntToText(frame_count));

    // Deadlines (start + n x interval) keep the pace whatever the work costs;
    // after a stall the schedule restarts from now instead of rushing to catch up.
    deadline += interval;
    const Clock::TimePoint now = ports_.clock.Now();
    if (deadline + interval < now) deadline = now;
    ports_.clock.SleepUntil(deadline);
  } while (flag_.load() == kRecording && !shutting_down_.load());
  return frame_count;
}

void Recorder::Finish(GifMaker& maker) {
  const std::string stamp = MakeTimeStamp(ports_.local_time.NowLocal());
  SaveResult result;
  std::string failures;
  const auto& directories = ports_.locations.directories;
  std::size_t saved_in = 0;
  for (; saved_in < directories.size(); ++saved_in) {
    const std::string& directory = directories[saved_in];
    result = SaveAnimation(maker, MakeOutputPath(directory, ports_.locations.separator, stamp));
    if (result.saved) break;
    failures += "\n" + directory + "：" + result.error;
  }

  if (result.saved) {
    const std::string& path = result.written_path;
    std::string message;
    if (ports_.clipboard.CopyGifAsHtml(path)) {
      message = kSavedCopiedMessage;
    } else if (ports_.clipboard.CopyGifForQQ(path)) {
      message = kSavedCopiedQQMessage;
    } else {
      message = kSavedNotCopiedMessage;
    }
    if (saved_in > 0) {
      message += "\n" + std::string(kSavedElsewhereNote) + path;
    }
    ShowOutcome(message);
  } else {
    // Silence here would let the recording vanish unseen: say why instead.
    ShowOutcome(std::string(kSaveFailedMessage) + failures);
  }

  RestoreWindowIfIdle();
}

void Recorder::RestoreWindowIfIdle() {
  // Another recording may have started while the box was open; it owns the
  // caption and the button now.
  if (flag_.load() == kIdle) {
    ports_.view.SetCaption(std::string(kMainWindowTitle));
    ports_.view.SetRecordEnabled(true);
  }
}

void Recorder::ShowOutcome(const std::string& message) {
  if (shutting_down_.load()) return;
  ports_.messages.ShowMessage(message, kDefaultMessageTitle);
}

}  // namespace orvamy
