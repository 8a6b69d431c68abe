// orvamy-gif: records an animated GIF of the screen rectangle around the
// mouse pointer. Linux back end: Qt 6 widgets on X11, xcb for the screen and
// the hot keys.
//
// Supports: X11 sessions (and XWayland windows) at any depth the capture
// takes (see x11_screen.h); global F7/F8 by key grabs on the root window,
// whatever lock keys are on; the clipboard as text/html, image/gif, a file
// list and the QQ rich-edit format; the preview as a click-through band just
// outside the rectangle; saving beside the program, else in Pictures, else
// in the home folder.
// Does not: capture native Wayland windows or grab keys on Wayland (the
// program forces Qt's xcb platform), take command-line arguments or keep
// settings.

#include <QApplication>
#include <QFont>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>

#include "app/app_controller.h"
#include "output/gif/gif_spool.h"
#include "platform/qt/main_window.h"
#include "platform/posix/exit_signals.h"
#include "platform/posix/posix_system.h"
#include "platform/qt/preview_window.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/qt/qt_messages.h"
#include "platform/qt/ui_bridge.h"
#include "platform/x11/x11_hotkeys.h"
#include "platform/x11/x11_screen.h"
#include "platform/x11/x11_window_manager.h"

int main(int argc, char** argv) {
  // Before any thread exists, so that every thread leaves the three to it.
  orvamy::posix::ExitSignals exit_signals;

  // The screen, hot keys and window-manager calls speak X11: run Qt on xcb too
  // (also under XWayland).
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  QApplication app(argc, argv);
  QFont font = QApplication::font();
  font.setPixelSize(12);  // the size the control table's boxes were laid out for
  QApplication::setFont(font);

  orvamy::x11::X11Screen screen;
  if (!screen.ok()) {
    std::fprintf(stderr, "orvamy-gif: cannot open the X display\n");
    return 1;
  }
  orvamy::x11::X11Hotkeys hotkeys;
  orvamy::x11::X11WindowManager window_manager;

  orvamy::qt::MainWindow window(window_manager);
  orvamy::qt::UiBridge bridge(app);
  orvamy::qt::QtMessages messages(bridge, window);  // boxes open above the window
  orvamy::qt::QtClipboard clipboard(bridge);
  orvamy::posix::SteadyClock clock;
  orvamy::posix::SystemLocalTime local_time;
  orvamy::qt::QtTimer preview_timer;

  orvamy::AppController* controller_ptr = nullptr;
  orvamy::qt::QtPreviewWindow preview([&controller_ptr] {
    if (controller_ptr) controller_ptr->OnPreviewWindowClosed();
  });

  orvamy::SaveLocations locations = orvamy::posix::LinuxSaveLocations();
  // Temporary files of an earlier run that was killed while recording.
  orvamy::gif::RemoveStaleSpoolFiles(orvamy::gif::SpoolFolders(locations.directories),
                                     orvamy::posix::ProcessRunning);
  orvamy::AppController controller(orvamy::AppPorts{
      screen, screen, clock, local_time, window, messages, clipboard, hotkeys, preview,
      preview_timer, window, std::move(locations)});
  controller_ptr = &controller;
  window.Attach(controller, preview_timer);

  controller.OnWindowCreated();  // on top, F7 and F8
  std::unique_ptr<QSocketNotifier> hotkey_notifier;
  if (hotkeys.FileDescriptor() >= 0) {
    hotkey_notifier = std::make_unique<QSocketNotifier>(hotkeys.FileDescriptor(),
                                                        QSocketNotifier::Read);
    QObject::connect(hotkey_notifier.get(), &QSocketNotifier::activated, &window, [&] {
      for (const std::int32_t id : hotkeys.TakePressed()) controller.OnHotkey(id);
    });
  }
  // Events read while the keys were being grabbed are already in xcb's queue.
  for (const std::int32_t id : hotkeys.TakePressed()) controller.OnHotkey(id);

  // SIGTERM (log out, a service manager), SIGINT, SIGHUP: the running
  // recording is saved as F8 would save it, without a box, then the program
  // ends as when the window closes.
  std::unique_ptr<QSocketNotifier> signal_notifier;
  if (exit_signals.FileDescriptor() >= 0) {
    signal_notifier = std::make_unique<QSocketNotifier>(exit_signals.FileDescriptor(),
                                                        QSocketNotifier::Read);
    QObject::connect(signal_notifier.get(), &QSocketNotifier::activated, &window, [&] {
      if (exit_signals.TakePending() == 0) return;
      signal_notifier->setEnabled(false);  // once is enough
      controller.OnEndRequested();
      QApplication::quit();
    });
  }

  window.show();
  // Once the event loop runs: a box about taken hot keys, if any.
  QMetaObject::invokeMethod(&window, [&controller] { controller.OnWindowShown(); },
                            Qt::QueuedConnection);
  const int code = QApplication::exec();
  controller.OnWindowClosing();
  controller_ptr = nullptr;
  return code;
}
