#pragma once
// The recorder: a start request becomes a recording on a thread of its own that
// captures frames around the pointer at the rate in the frame-rate box until a
// stop request, then saves the GIF beside the program, puts it on the clipboard
// and reports the outcome in a message box.

#include <atomic>
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

// The saved delay (hundredths) and the capture interval (microseconds) for the
// frame-rate box's value. A rate of 0 or below means "no pause": delay 0,
// interval 0, never a wait that cannot end.
std::uint16_t FrameDelayForRate(std::int32_t fps);
std::int64_t FrameIntervalMicrosForRate(std::int32_t fps);

class Recorder final : public RecordingControl {
 public:
  explicit Recorder(RecorderPorts ports);
  ~Recorder() override;  // Shutdown()
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Called on the UI thread (Record button, F7). At most one recording runs:
  // the start guard and the flag are one atomic step.
  void StartRecording() override;
  // Thread-safe. A stop made while a recording is still starting takes effect:
  // that recording keeps its first frame and ends.
  void StopRecording() override;

  // Called on the UI thread when the program ends: a recording in progress is
  // abandoned unsaved, open outcome boxes are closed and every thread joined.
  void Shutdown();

  // Thread-safe: true from an accepted start until the frame loop has ended.
  bool IsRecording() const { return flag_.load() != kIdle; }

 private:
  // kStopWhileStarting: a stop came before the frame loop began; new starts
  // are still refused until that recording has taken its one frame.
  enum : int { kIdle = 0, kRecording = 1, kStarting = 2, kStopWhileStarting = 3 };
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

  void RecordGif();
  std::int32_t CaptureFrames(GifMaker& maker, const FrameInfo& frame_info);
  void Finish(GifMaker& maker);
  void ShowOutcome(const std::string& message);
  void RestoreWindowIfIdle();
  void ReapFinishedWorkers();

  RecorderPorts ports_;
  std::atomic<int> flag_{kIdle};
  std::atomic<bool> shutting_down_{false};
  std::mutex workers_mutex_;  // guards workers_
  std::list<Worker> workers_;
};

}  // namespace orvamy
