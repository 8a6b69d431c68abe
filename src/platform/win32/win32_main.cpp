// OrvamyGif.exe: the Windows program. Builds the Win32 ports, hands them to
// the portable AppController and runs the main window until it closes.
//
// Supports: Windows 7 and later (the capture exclusion of the preview frame
// and per-monitor DPI v2 where the system has them), Wine.
// Does not: take command-line arguments or keep settings.

#include "platform/win32/win32_util.h"

#include <commctrl.h>
#include <ole2.h>

#include <exception>

#include "app/app_controller.h"
#include "output/gif/gif_spool.h"
#include "platform/win32/win32_capture.h"
#include "platform/win32/win32_clipboard.h"
#include "platform/win32/win32_main_window.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_preview.h"
#include "platform/win32/win32_system.h"

namespace {

int RunProgram(HINSTANCE instance, int show_command) {
  using namespace orvamy;
  using namespace orvamy::win32;

  // The program's directory is the current directory, as the file names assume.
  SetCurrentDirectoryW(ExecutableDirectory().c_str());
  INITCOMMONCONTROLSEX common{sizeof common, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&common);

  GdiScreenSource screen;
  CursorPointerSource pointer;
  SteadyClock clock;
  Win32LocalTime local_time;
  Win32MessagePort messages;
  Win32Clipboard clipboard;
  Win32PreviewWindow preview(instance, kPreviewClosedMessage);
  MainWindow window(instance);
  SaveLocations locations = DefaultSaveLocations();
  // Temporary files of an earlier run that was ended while recording.
  gif::RemoveStaleSpoolFiles(gif::SpoolFolders(locations.directories), ProcessRunning);
  AppController controller(AppPorts{screen, pointer, clock, local_time, window, messages,
                                    clipboard, window, preview, window, window,
                                    std::move(locations)});
  return window.Run(controller, preview, show_command);
  // The controller goes first (joining any recorder), then the windows.
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  try {
    return RunProgram(instance, show_command);
  } catch (const std::exception&) {
    MessageBoxW(nullptr, L"内存不足，程序无法继续。", L"信息：", MB_OK | MB_TASKMODAL);
    return -1;
  }
}
