#include "record/recorder.h"

#include <algorithm>
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
  if (fps <= 0) return kShortestFrameIntervalMicros;
  return std::max(kShortestFrameIntervalMicros, static_cast<std::int64_t>(1'000'000.0 / fps));
}

// A frame loop's hold on the canvas and the pointer position, which are not
// thread-safe: taken before the first frame and given back once the loop has
// returned, however it returns. A recording started while the previous one
// is still taking its last frame waits here for that frame.
class Recorder::CanvasTurn {
 public:
  explicit CanvasTurn(Recorder& recorder) : recorder_(recorder) {
    std::unique_lock lock(recorder_.state_mutex_);
    recorder_.canvas_free_.wait(lock, [this] { return !recorder_.canvas_busy_; });
    recorder_.canvas_busy_ = true;
  }
  ~CanvasTurn() {
    {
      std::lock_guard lock(recorder_.state_mutex_);
      recorder_.canvas_busy_ = false;
    }
    recorder_.canvas_free_.notify_all();
  }
  CanvasTurn(const CanvasTurn&) = delete;
  CanvasTurn& operator=(const CanvasTurn&) = delete;

 private:
  Recorder& recorder_;
};

Recorder::Recorder(RecorderPorts ports) : ports_(std::move(ports)) {}

Recorder::~Recorder() { Shutdown(); }

RecorderState Recorder::State() const {
  std::lock_guard lock(state_mutex_);
  return state_;
}

void Recorder::Apply(const Run& run, RecorderEvent event) {
  std::lock_guard lock(state_mutex_);
  // A run that a later start has replaced no longer speaks for the state.
  if (run.id == current_) state_ = Next(state_, event);
}

void Recorder::StartRecording() {
  if (ending_.load() != Ending::kNone) return;
  ReapFinishedWorkers();
  std::lock_guard workers_lock(workers_mutex_);
  std::lock_guard lock(state_mutex_);
  const RecorderState next = Next(state_, RecorderEvent::kStart);
  if (next == state_) return;  // a recording runs: refused
  auto stop = std::make_shared<StopSignal>();
  const Run run{current_ + 1, stop};
  auto done = std::make_shared<std::atomic<bool>>(false);
  try {
    workers_.push_back(Worker{std::thread([this, run, done] {
                                RecordGif(run);
                                done->store(true);
                              }),
                              done});
  } catch (const std::system_error&) {
    return;  // no thread: nothing happened
  }
  // The new thread waits for state_mutex_ before it acts, so it sees itself current.
  current_ = run.id;
  stop_ = std::move(stop);
  state_ = next;
}

void Recorder::StopRecording() {
  std::lock_guard lock(state_mutex_);
  const RecorderState next = Next(state_, RecorderEvent::kStop);
  if (next == state_) return;
  state_ = next;
  stop_->Request();  // wakes the frame loop if it sleeps
}

void Recorder::StopAndSaveQuietly() {
  Ending expected = Ending::kNone;
  if (!ending_.compare_exchange_strong(expected, Ending::kSaveQuietly)) return;
  StopRecording();
  WaitForAllWorkers();
  // Nothing runs now. A session end that was called off leaves the program
  // usable; otherwise the back end exits next.
  expected = Ending::kSaveQuietly;
  ending_.compare_exchange_strong(expected, Ending::kNone);
}

void Recorder::Shutdown() {
  ending_.store(Ending::kAbandon);
  {
    std::lock_guard lock(state_mutex_);
    stop_->Request();
  }
  WaitForAllWorkers();
}

void Recorder::WaitForAllWorkers() {
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

void Recorder::RecordGif(const Run& run) {
  // Nothing thrown on this thread may end the program: what is lost is this
  // recording only (its maker removed the temporary file while unwinding),
  // and the user is told why.
  std::string reason;
  try {
    RecordOrReport(run);
    return;
  } catch (const std::exception& e) {
    reason = e.what();
  } catch (...) {
    reason = "unknown error";
  }
  try {
    Apply(run, RecorderEvent::kLoopEnded);
    ShowOutcome(std::string(kRecordingFailedMessage) + reason);
    RestoreWindowIfIdle();
  } catch (...) {
    // Reporting failed too (out of memory): the state is idle, nothing more to do.
  }
}

void Recorder::RecordOrReport(const Run& run) {
  DisableRecordButton();

  // A box that reads as 0 or less, or a size beyond what a frame can hold,
  // would record an animation of nothing: say so instead of starting.
  const std::int32_t width = TextToInt(ports_.boxes.WidthText());
  const std::int32_t height = TextToInt(ports_.boxes.HeightText());
  if (!IsRecordableSize(width, height)) {
    Apply(run, RecorderEvent::kLoopEnded);
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
  animation.width = static_cast<std::uint16_t>(width);
  animation.height = static_cast<std::uint16_t>(height);
  frame_info.delay = FrameDelayForRate(ReadRate(ports_.boxes));

  {
    const CanvasTurn turn(*this);
    Apply(run, RecorderEvent::kLoopBegan);
    animation.frame_count = CaptureFrames(maker, frame_info, run);
    Apply(run, RecorderEvent::kLoopEnded);
  }
  if (ending_.load() == Ending::kAbandon) return;  // the maker removes its temporary file
  // The last frame was on screen until the stop, not for a whole interval
  // more: the GIF plays as long as it was recorded.
  MarkAnimationEnd(maker, ports_.clock.Now());
  Finish(maker);
}

std::int32_t Recorder::CaptureFrames(GifMaker& maker, const FrameInfo& frame_info,
                                     const Run& run) {
  FrameComposer composer({ports_.screen, ports_.pointer, ports_.boxes, ports_.position,
                          ports_.canvas});
  std::int32_t frame_count = 0;
  Clock::TimePoint deadline = ports_.clock.Now();
  // The first frame is always taken, even when a stop came while starting.
  do {
    ++frame_count;
    const Clock::TimePoint captured_at = ports_.clock.Now();
    const std::span<const std::uint8_t> picture = composer.Compose();
    // The rate box is read once per frame; the interval it gives is both this
    // frame's time on screen and the wait before the next capture.
    const microseconds interval(FrameIntervalMicrosForRate(ReadRate(ports_.boxes)));
    AddFrame(maker, frame_info, picture, FrameTiming{captured_at, interval});
    ports_.view.SetCaption(std::string(kFrameCountCaptionPrefix) + IntToText(frame_count));
    if (run.stop->Requested()) break;

    // Deadlines (start + n x interval) keep the pace whatever the work costs;
    // after a stall the schedule restarts from now instead of rushing to catch up.
    deadline += interval;
    const Clock::TimePoint now = ports_.clock.Now();
    if (deadline + interval < now) deadline = now;
    ports_.clock.SleepUntil(deadline, *run.stop);
  } while (!run.stop->Requested());
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

  // Saving on the way out (SIGTERM, log off): the file is what matters; no
  // one is left to read a box, and the clipboard would leave with the process.
  if (ending_.load() != Ending::kNone) return;

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

void Recorder::DisableRecordButton() {
  std::lock_guard lock(view_mutex_);
  ports_.view.SetRecordEnabled(false);
}

void Recorder::RestoreWindowIfIdle() {
  // Another recording may have started while the box was open; it owns the
  // caption and the button now.
  std::lock_guard lock(view_mutex_);
  if (State() == RecorderState::kIdle) {
    ports_.view.SetCaption(std::string(kMainWindowTitle));
    ports_.view.SetRecordEnabled(true);
  }
}

void Recorder::ShowOutcome(const std::string& message) {
  if (ending_.load() != Ending::kNone) return;
  ports_.messages.ShowMessage(message, kDefaultMessageTitle);
}

}  // namespace orvamy
