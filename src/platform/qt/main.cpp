// orvamy-gif: records an animated GIF of the screen rectangle around the
// mouse pointer. Linux back end: Qt 6 widgets; on X11 xcb for the screen and
// the hot keys, on Wayland the desktop portal.
//
// Supports: X11 sessions at any depth the capture takes (see x11_screen.h);
// global F7/F8 by key grabs on the root window, whatever lock keys are on;
// `orvamy-gif --start`, `--stop` and `--toggle` sent to the running program
// over a local socket (for desktops that bind keys to commands); the
// clipboard as text/html, image/gif, a file list and the QQ rich-edit format;
// the preview as a click-through band just outside the rectangle; saving
// beside the program, else in Pictures, else in the home folder;
// `--backend=x11|wayland` (or ORVAMY_BACKEND) to override the session's choice;
// Wayland sessions through the screen-cast portal and PipeWire, F7/F8 through
// the shortcuts portal where the desktop has one (linux_desktop.h).
// Does not: keep settings; keep the window on top or show the preview frame
// on Wayland (the boxes are disabled there, with the reason as a tooltip).

#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "app/app_controller.h"
#include "app/remote_command.h"
#include "output/gif/gif_spool.h"
#include "platform/posix/display_backend.h"
#include "platform/posix/exit_signals.h"
#include "platform/posix/posix_system.h"
#include "platform/qt/command_channel.h"
#include "platform/qt/linux_desktop.h"
#include "platform/qt/main_window.h"
#include "platform/qt/preview_window.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/qt/qt_messages.h"
#include "platform/qt/ui_bridge.h"

namespace {

constexpr const char* kUsage =
    "usage: orvamy-gif [--backend=x11|wayland]\n"
    "       orvamy-gif --start | --stop | --toggle\n"
    "\n"
    "Without a command the program opens its window. A command is sent to the\n"
    "running program, which starts, stops, or starts-or-stops a recording as its\n"
    "buttons do; bind them to keys in the desktop's shortcut settings.\n"
    "Exit status of a command: 0 done (the program's state is printed: recording\n"
    "or idle), 1 no running program, 3 the program did not answer, 4 the\n"
    "program can record no more (the desktop ended its screen sharing).\n";

struct CommandLine {
  std::optional<orvamy::RemoteCommand> command;
  std::string backend;
  bool help = false;
  std::string error;
};

// Our own options; anything not starting with "--" is left to Qt (-platform ...).
CommandLine ParseCommandLine(int argc, char** argv) {
  CommandLine line;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!arg.starts_with("--")) continue;
    if (const auto command = orvamy::RemoteCommandFromOption(arg)) {
      if (line.command) line.error = "give one command only";
      line.command = command;
    } else if (arg.starts_with("--backend=")) {
      line.backend = std::string(arg.substr(10));
    } else if (arg == "--help") {
      line.help = true;
    } else {
      line.error = "unknown option " + std::string(arg);
    }
  }
  return line;
}

int SendCommand(int argc, char** argv, orvamy::RemoteCommand command) {
  const QCoreApplication app(argc, argv);
  std::string answer;
  switch (orvamy::qt::SendRemoteCommand(command, answer)) {
    case orvamy::qt::SendOutcome::kAnswered:
      std::printf("%s\n", answer.c_str());
      if (answer == orvamy::kRemoteAnswerUnavailable) {
        std::fprintf(stderr, "orvamy-gif: %s\n", std::string(orvamy::kScreenSharingEndedText).c_str());
        return 4;
      }
      return answer == orvamy::kRemoteAnswerUnknown ? 3 : 0;
    case orvamy::qt::SendOutcome::kNoneRunning:
      std::fprintf(stderr,
                   "orvamy-gif: no running orvamy-gif received --%s: start the program first\n",
                   std::string(orvamy::RemoteCommandWord(command)).c_str());
      return 1;
    case orvamy::qt::SendOutcome::kNoAnswer:
      break;
  }
  std::fprintf(stderr, "orvamy-gif: the running orvamy-gif did not answer\n");
  return 3;
}

}  // namespace

int main(int argc, char** argv) {
  const CommandLine command_line = ParseCommandLine(argc, argv);
  if (command_line.help || !command_line.error.empty()) {
    if (!command_line.error.empty()) std::fprintf(stderr, "orvamy-gif: %s\n", command_line.error.c_str());
    std::fputs(kUsage, command_line.help ? stdout : stderr);
    return command_line.help ? 0 : 2;
  }
  if (command_line.command) return SendCommand(argc, argv, *command_line.command);

  const orvamy::posix::BackendChoice choice =
      orvamy::posix::ChooseDisplayBackendFromEnvironment(command_line.backend);
  if (!choice.backend) {
    std::fprintf(stderr, "orvamy-gif: %s\n", choice.error.c_str());
    return 2;
  }
  const bool wayland = *choice.backend == orvamy::posix::DisplayBackend::kWayland;

  // Before any thread exists, so that every thread leaves the three to it.
  orvamy::posix::ExitSignals exit_signals;

  // X11: the screen, hot keys and window-manager calls speak X11, so Qt runs on
  // xcb too. Wayland: Qt's own platform, unless the user chose one.
  if (!wayland) {
    setenv("QT_QPA_PLATFORM", "xcb", 1);
  } else {
    setenv("QT_QPA_PLATFORM", "wayland", 0);
  }
  QApplication app(argc, argv);
  QFont font = QApplication::font();
  font.setPixelSize(12);  // the size the control table's boxes were laid out for
  QApplication::setFont(font);

  std::string desktop_error;
  const std::unique_ptr<orvamy::qt::LinuxDesktop> desktop =
      orvamy::qt::LinuxDesktop::Open(*choice.backend, desktop_error);
  if (!desktop) {
    // Nothing can be recorded: say why where the user looks, then end.
    std::fprintf(stderr, "orvamy-gif: message: %s\n", desktop_error.c_str());
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(orvamy::kDefaultMessageTitle.data(),
                                                           static_cast<qsizetype>(orvamy::kDefaultMessageTitle.size())),
                    QString::fromStdString(desktop_error), QMessageBox::Ok);
    box.exec();
    return 1;
  }

  orvamy::qt::MainWindow window(desktop->window_manager());
  if (wayland) window.DisableWhatWaylandForbids();
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
      desktop->screen(), desktop->pointer(), clock, local_time, window, messages, clipboard,
      desktop->hotkeys(), preview, preview_timer, window, std::move(locations)});
  if (!desktop->HasGlobalKeys()) controller.UseCommandsForHotkeys();
  controller_ptr = &controller;
  window.Attach(controller, preview_timer);

  controller.OnWindowCreated();  // on top, F7 and F8
  desktop->DeliverHotkeys(window, [&controller](std::int32_t id) { controller.OnHotkey(id); });

  // `orvamy-gif --start/--stop/--toggle` from a key the desktop binds.
  orvamy::qt::CommandServer commands([&](orvamy::RemoteCommand command) {
    const std::string_view answer = controller.OnRemoteCommand(command);
    if (answer == orvamy::kRemoteAnswerUnavailable) {
      // Told in the window too, once the sender has its answer (a box on the
      // UI thread waits for the user).
      QMetaObject::invokeMethod(
          &window,
          [&messages] {
            messages.ShowMessage(orvamy::kScreenSharingEndedText, orvamy::kDefaultMessageTitle);
          },
          Qt::QueuedConnection);
    }
    return answer;
  });
  if (QString error; !commands.Listen(error)) {
    std::fprintf(stderr, "orvamy-gif: commands from the command line will not reach this copy: %s\n",
                 error.toUtf8().constData());
  }

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

  // The desktop can end the screen sharing at any time (Wayland): the running
  // recording is then saved and the user told. A look four times a second
  // answers quickly enough and needs nothing from the stream threads.
  QTimer sharing_watch;
  QObject::connect(&sharing_watch, &QTimer::timeout, &window, [&] {
    if (!desktop->ScreenSharingEnded()) return;
    sharing_watch.stop();
    controller.OnScreenSharingEnded();
  });
  if (wayland) sharing_watch.start(250);

  window.show();
  // Once the event loop runs: what the desktop cannot do (a fixed rectangle),
  // then a box about taken hot keys, if any.
  QMetaObject::invokeMethod(
      &window,
      [&controller, &messages, note = desktop->Note()] {
        if (!note.empty()) messages.ShowMessage(note, orvamy::kDefaultMessageTitle);
        controller.OnWindowShown();
      },
      Qt::QueuedConnection);
  const int code = QApplication::exec();
  controller.OnWindowClosing();
  controller_ptr = nullptr;
  return code;
}
