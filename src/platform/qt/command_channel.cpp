#include "platform/qt/command_channel.h"

#include <QDir>
#include <QLocalSocket>
#include <QTimer>

#include <unistd.h>

namespace orvamy::qt {
namespace {

constexpr int kConnectMilliseconds = 2000;
constexpr int kAnswerMilliseconds = 5000;
// A sender that connects and says nothing is cut off after this long, so
// it cannot hold a connection open for ever.
constexpr int kLineMilliseconds = 2000;

// Whether a program answers on `path` (a socket file left by a killed
// program refuses the connection).
bool SomeoneListens(const QString& path) {
  QLocalSocket probe;
  probe.connectToServer(path);
  const bool answered = probe.waitForConnected(kConnectMilliseconds);
  probe.abort();
  return answered;
}

}  // namespace

QString CommandSocketPath() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir(runtime).exists()) {
    return QDir(runtime).filePath(QStringLiteral("orvamy-gif.socket"));
  }
  return QDir::temp().filePath(QStringLiteral("orvamy-gif-%1.socket").arg(getuid()));
}

CommandServer::CommandServer(Handler handler) : handler_(std::move(handler)) {
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  connect(&server_, &QLocalServer::newConnection, this, [this] { Accept(); });
}

bool CommandServer::Listen(QString& error) {
  const QString path = CommandSocketPath();
  // Ask first: with access options set, QLocalServer makes the socket aside
  // and renames it into place, which would silently take the socket of a
  // copy that is running.
  if (SomeoneListens(path)) {
    error = QStringLiteral("another orvamy-gif already answers on %1").arg(path);
    return false;
  }
  QLocalServer::removeServer(path);  // left behind by a program that was killed
  if (server_.listen(path)) return true;
  error = QStringLiteral("cannot listen on %1: %2").arg(path, server_.errorString());
  return false;
}

void CommandServer::Accept() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kLineMilliseconds, socket, [socket] { socket->abort(); });
    connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
      if (!socket->canReadLine()) {
        // No line end within the limit: not one of ours.
        if (socket->bytesAvailable() > static_cast<qint64>(kRemoteLineLimit)) socket->abort();
        return;
      }
      const QByteArray line = socket->readLine(static_cast<qint64>(kRemoteLineLimit) + 1);
      const auto command =
          ParseRemoteCommandLine(std::string_view(line.constData(), static_cast<std::size_t>(line.size())));
      const std::string_view answer = command ? handler_(*command) : kRemoteAnswerUnknown;
      socket->write(QByteArray(answer.data(), static_cast<qsizetype>(answer.size())) + '\n');
      socket->disconnectFromServer();  // after the answer is written
    });
  }
}

SendOutcome SendRemoteCommand(RemoteCommand command, std::string& answer) {
  QLocalSocket socket;
  socket.connectToServer(CommandSocketPath());
  if (!socket.waitForConnected(kConnectMilliseconds)) return SendOutcome::kNoneRunning;
  const std::string_view word = RemoteCommandWord(command);
  socket.write(QByteArray(word.data(), static_cast<qsizetype>(word.size())) + '\n');
  if (!socket.waitForBytesWritten(kAnswerMilliseconds)) return SendOutcome::kNoAnswer;
  while (!socket.canReadLine()) {
    if (!socket.waitForReadyRead(kAnswerMilliseconds)) return SendOutcome::kNoAnswer;
  }
  answer = socket.readLine(static_cast<qint64>(kRemoteLineLimit) + 1).trimmed().toStdString();
  return SendOutcome::kAnswered;
}

}  // namespace orvamy::qt
