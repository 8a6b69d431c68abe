#pragma once
// The local socket through which `orvamy-gif --start/--stop/--toggle` reaches
// the running program (see app/remote_command.h for the lines exchanged).
// Supports: one socket per user, `$XDG_RUNTIME_DIR/orvamy-gif.socket`, else
// `/tmp/orvamy-gif-UID.socket`, readable by that user only; a socket left by
// a program that was killed is taken over; a second copy of the program
// leaves the first one's socket alone. Does not: carry anything but the three
// commands.

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>
#include <string_view>

#include "app/remote_command.h"

namespace orvamy::qt {

QString CommandSocketPath();

// Called on the UI thread only.
class CommandServer final : public QObject {
 public:
  using Handler = std::function<std::string_view(RemoteCommand)>;
  explicit CommandServer(Handler handler);

  // Starts listening; false (with the reason) when another running copy owns
  // the socket or it cannot be made.
  bool Listen(QString& error);

 private:
  void Accept();

  Handler handler_;
  QLocalServer server_;
};

// What became of a command sent from the command line.
enum class SendOutcome { kAnswered, kNoneRunning, kNoAnswer };

// Sends `command` to the running program and waits a few seconds for its
// answer line. Needs a QCoreApplication. Called on the main thread only.
SendOutcome SendRemoteCommand(RemoteCommand command, std::string& answer);

}  // namespace orvamy::qt
