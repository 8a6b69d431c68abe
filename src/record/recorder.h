#pragma once
// The recorder: a start request becomes a recording on a thread of its own that
// captures frames around the pointer at the rate in the frame-rate box until a
// stop request, then saves the GIF beside the program, puts it on the clipboard
// and reports the outcome in a message box.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/compose.h"
#include "capture/frame_canvas.h"
#include "output/gif/gif_builder.h"
#include "ports/ports.h"
#include "ports/recording_control.h"
#include "ports/save_locations.h"
#include "record/recorder_state.h"

namespace orvamy {

inline constexpr std::string_view kSavedCopiedMessage = "文件保存成功！并复制到剪贴板，可以直接使用。";
inline constexpr std::string_view kSavedCopiedQQMessage =
    "文件保存成功！并复制到QQ剪贴板，可以直接使用。";
inline constexpr std::string_view kSavedNotCopiedMessage =
    "文件保存成功！无法复制到剪贴板,请自己重试！！！";
inline constexpr std::string_view kSaveFailedMessage = "文件保存失败！录像未能写入：";
inline constexpr std::string_view kSavedElsewhereNote = "程序目录无法写入，文件已保存到：";
inline constexpr std::string_view kBadSizeMessage =
    "无法录制：宽度和高度须在 1 到 32627 像素之间，宽×高不超过 67108864 像素。当前：";

// Whether a recording of this size can be made: at least one pixel each way
// and no larger than the frame canvas can hold.
bool IsRecordableSize(std::int32_t width, std::int32_t height);

struct RecorderPorts {
  ScreenSource& screen;
  PointerSource& pointer;
  const ParameterBoxes& boxes;
  PointerPosition& position;
  FrameCanvas& canvas;
  Clock& clock;
  LocalTimeSource& local_time;
  RecorderView& view;
  MessagePort& messages;
  ClipboardExporter& clipboard;
  SaveLocations locations;
};

// The saved delay (hundredths) for the frame-rate box's value, and the time
// between two captures (microseconds). The GIF cannot show a frame for less
// than 2/100 s, so captures are never closer than kShortestFrameInterval: a
// rate of 0 or below ("no pause") or above 50 captures every 20 ms.
inline constexpr std::int64_t kShortestFrameIntervalMicros = 20'000;
std::uint16_t FrameDelayForRate(std::int32_t fps);
std::int64_t FrameIntervalMicrosForRate(std::int32_t fps);

inline constexpr std::string_view kRecordingFailedMessage = "录像失败，未能保存：";

class Recorder final : public RecordingControl {
 public:
  explicit Recorder(RecorderPorts ports);
  ~Recorder() override;  // Shutdown()
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Called on the UI thread (Record button, F7). At most one frame loop runs:
  // a start while a recording runs is refused; a start after a stop begins a
  // new recording at once, whose frame loop waits for the old one's last frame.
  void StartRecording() override;
  // Thread-safe. Ends exactly the recording the state describes; a stop made
  // while it is still starting takes effect after its first frame. A sleeping
  // frame loop is woken, so the stop does not wait out a frame interval.
  void StopRecording() override;

  // Called on the UI thread when the process is asked to end (SIGTERM, log
  // off): the running recording stops and is saved as a stop saves it, but
  // with no message box and no clipboard; returns once every recording thread
  // has ended. Boxes already open are closed. Starts are refused meanwhile.
  void StopAndSaveQuietly();

  // Called on the UI thread when the program ends: a recording in progress is
  // abandoned unsaved, open outcome boxes are closed and every thread joined.
  void Shutdown();

  // Thread-safe: true from an accepted start until its frame loop has ended.
  bool IsRecording() const { return State() != RecorderState::kIdle; }
  // Thread-safe.
  RecorderState State() const;

 private:
  // One accepted start: its number and the signal its stop is sent through.
  struct Run {
    std::uint64_t id = 0;
    std::shared_ptr<StopSignal> stop;
  };
  enum class Ending { kNone, kSaveQuietly, kAbandon };
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  class CanvasTurn;

  void RecordGif(const Run& run);
  void RecordOrReport(const Run& run);
  std::int32_t CaptureFrames(GifMaker& maker, const FrameInfo& frame_info, const Run& run);
  void Finish(GifMaker& maker);
  void Apply(const Run& run, RecorderEvent event);
  void ShowOutcome(const std::string& message);
  void DisableRecordButton();
  void RestoreWindowIfIdle();
  void ReapFinishedWorkers();
  void WaitForAllWorkers();

  RecorderPorts ports_;
  mutable std::mutex state_mutex_;  // guards state_, current_, stop_ and canvas_busy_
  std::condition_variable canvas_free_;
  RecorderState state_ = RecorderState::kIdle;
  std::uint64_t current_ = 0;  // the run state_ describes
  std::shared_ptr<StopSignal> stop_ = std::make_shared<StopSignal>();  // that run's stop
  bool canvas_busy_ = false;   // a frame loop holds the canvas and the pointer position
  // Held while the window is changed for a run's start or end, so an ending
  // recording never re-enables the button after the next one disabled it.
  std::mutex view_mutex_;
  std::atomic<Ending> ending_{Ending::kNone};
  std::mutex workers_mutex_;  // guards workers_
  std::list<Worker> workers_;
};

}  // namespace orvamy
