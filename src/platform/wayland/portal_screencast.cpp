#include "platform/wayland/portal_screencast.h"

#include <fcntl.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>

#include <cstdio>

#include "platform/wayland/portal_request.h"
#include "platform/wayland/restore_token.h"
#include "platform/wayland/wayland_messages.h"

namespace orvamy::wayland {
namespace {

constexpr char kScreenCastInterface[] = "org.freedesktop.portal.ScreenCast";
constexpr char kSessionInterface[] = "org.freedesktop.portal.Session";
constexpr unsigned kSourceMonitor = 1;
constexpr unsigned kCursorHidden = 1;
constexpr unsigned kCursorEmbedded = 2;
constexpr unsigned kCursorMetadata = 4;
// Kept until the user revokes it, not only for this run.
constexpr unsigned kPersistUntilRevoked = 2;
// Restore tokens and persist modes came with version 4 of the interface.
constexpr unsigned kFirstVersionWithRestore = 4;

QString Latin(const char* text) {
  return QString::fromLatin1(text);
}

std::optional<unsigned> ReadProperty(QDBusConnection& bus, const char* name) {
  QDBusMessage get = QDBusMessage::createMethodCall(
      Latin(kPortalService), Latin(kPortalPath), QStringLiteral("org.freedesktop.DBus.Properties"),
      QStringLiteral("Get"));
  get.setArguments({Latin(kScreenCastInterface), Latin(name)});
  const QDBusMessage reply = bus.call(get, QDBus::Block, 10000);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    return std::nullopt;
  }
  bool ok = false;
  const unsigned value = reply.arguments().front().value<QDBusVariant>().variant().toUInt(&ok);
  if (!ok) return std::nullopt;
  return value;
}

// The cursor mode we ask for: the position alone where offered (we follow it
// and draw our own marker), else the pointer drawn into the picture, else none.
unsigned ChooseCursorMode(unsigned available) {
  if ((available & kCursorMetadata) != 0) return kCursorMetadata;
  if ((available & kCursorEmbedded) != 0) return kCursorEmbedded;
  return kCursorHidden;
}

std::optional<std::pair<int, int>> ReadPair(const QVariant& value) {
  if (!value.canConvert<QDBusArgument>()) return std::nullopt;
  const QDBusArgument argument = value.value<QDBusArgument>();
  int first = 0;
  int second = 0;
  argument.beginStructure();
  argument >> first >> second;
  argument.endStructure();
  return std::pair{first, second};
}

std::vector<PortalStream> ReadStreams(const QVariant& value) {
  std::vector<PortalStream> streams;
  if (!value.canConvert<QDBusArgument>()) return streams;
  const QDBusArgument argument = value.value<QDBusArgument>();
  argument.beginArray();
  while (!argument.atEnd()) {
    PortalStream stream;
    QVariantMap properties;
    argument.beginStructure();
    argument >> stream.node_id >> properties;
    argument.endStructure();
    if (const auto position = ReadPair(properties.value(QStringLiteral("position")))) {
      stream.logical.left = position->first;
      stream.logical.top = position->second;
    }
    if (const auto size = ReadPair(properties.value(QStringLiteral("size")))) {
      stream.logical.width = size->first;
      stream.logical.height = size->second;
    }
    streams.push_back(stream);
  }
  argument.endArray();
  return streams;
}

// The message for an answer other than "accepted".
std::string Explain(const PortalAnswer& answer) {
  switch (answer.outcome) {
    case PortalAnswer::Outcome::kAccepted:
      return {};
    case PortalAnswer::Outcome::kCancelled:
      return std::string(kPortalCancelledMessage);
    case PortalAnswer::Outcome::kRefused:
      return std::string(kPortalRefusedMessage);
    case PortalAnswer::Outcome::kTimedOut:
      return std::string(kPortalTimeoutMessage);
    case PortalAnswer::Outcome::kCallFailed:
      return std::string(kPortalCallFailedMessage) + answer.detail;
  }
  return std::string(kPortalRefusedMessage);
}

void KeepRestoreToken(const PortalOptions& options, const QVariantMap& results) {
  if (!options.restore_token_path) return;
  const QString token = results.value(QStringLiteral("restore_token")).toString();
  if (token.isEmpty()) return;
  std::string error;
  // Without it the user is only asked again next time: worth a log line, not a box.
  if (!WriteRestoreToken(*options.restore_token_path, token.toStdString(), error)) {
    std::fprintf(stderr, "orvamy-gif: the screen-cast approval is not kept: %s\n", error.c_str());
  }
}

}  // namespace

std::unique_ptr<ScreenCastPortal> ScreenCastPortal::Open(const PortalOptions& options,
                                                         std::string& error) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    error = kNoSessionBusMessage;
    return nullptr;
  }
  const std::optional<unsigned> version = ReadProperty(bus, "version");
  const std::optional<unsigned> sources = ReadProperty(bus, "AvailableSourceTypes");
  if (!version || !sources) {
    error = kNoPortalMessage;
    return nullptr;
  }
  if ((*sources & kSourceMonitor) == 0) {
    error = kNoMonitorSourceMessage;
    return nullptr;
  }
  const unsigned cursor_mode =
      ChooseCursorMode(ReadProperty(bus, "AvailableCursorModes").value_or(0));

  auto portal = std::make_unique<ScreenCastPortal>(OpenKey());
  portal->pointer_metadata_ = cursor_mode == kCursorMetadata;
  PortalRequest request(bus);
  const QString interface = Latin(kScreenCastInterface);

  PortalAnswer created = request.Call(
      interface, QStringLiteral("CreateSession"), {},
      {{QStringLiteral("session_handle_token"), request.NewToken()}}, options.call_timeout);
  if (created.outcome != PortalAnswer::Outcome::kAccepted) {
    error = Explain(created);
    return nullptr;
  }
  portal->session_path_ =
      created.results.value(QStringLiteral("session_handle")).toString().toStdString();
  const QDBusObjectPath session(QString::fromStdString(portal->session_path_));
  // Listening from the start: the desktop may end the sharing at any time.
  bus.connect(Latin(kPortalService), session.path(), Latin(kSessionInterface),
              QStringLiteral("Closed"), portal->closed_watcher_.get(), SLOT(OnClosed(QVariantMap)));

  QVariantMap selection{{QStringLiteral("types"), kSourceMonitor},
                        {QStringLiteral("multiple"), true},
                        {QStringLiteral("cursor_mode"), cursor_mode}};
  if (*version >= kFirstVersionWithRestore) {
    selection.insert(QStringLiteral("persist_mode"), kPersistUntilRevoked);
    if (options.restore_token_path) {
      const std::string token = ReadRestoreToken(*options.restore_token_path);
      if (!token.empty())
        selection.insert(QStringLiteral("restore_token"), QString::fromStdString(token));
    }
  }
  const PortalAnswer selected =
      request.Call(interface, QStringLiteral("SelectSources"), {QVariant::fromValue(session)},
                   selection, options.call_timeout);
  if (selected.outcome != PortalAnswer::Outcome::kAccepted) {
    error = Explain(selected);
    return nullptr;
  }

  const PortalAnswer started =
      request.Call(interface, QStringLiteral("Start"), {QVariant::fromValue(session), QString()},
                   {}, options.dialog_timeout);
  if (started.outcome != PortalAnswer::Outcome::kAccepted) {
    error = Explain(started);
    return nullptr;
  }
  KeepRestoreToken(options, started.results);
  portal->streams_ = ReadStreams(started.results.value(QStringLiteral("streams")));
  if (portal->streams_.empty()) {
    error = kNoStreamMessage;
    return nullptr;
  }

  QDBusMessage open = QDBusMessage::createMethodCall(
      Latin(kPortalService), Latin(kPortalPath), interface, QStringLiteral("OpenPipeWireRemote"));
  open.setArguments({QVariant::fromValue(session), QVariantMap()});
  const QDBusMessage reply =
      bus.call(open, QDBus::Block, static_cast<int>(options.call_timeout.count()));
  const QDBusUnixFileDescriptor fd =
      reply.arguments().isEmpty() ? QDBusUnixFileDescriptor()
                                  : reply.arguments().front().value<QDBusUnixFileDescriptor>();
  if (reply.type() != QDBusMessage::ReplyMessage || !fd.isValid()) {
    error = std::string(kPortalCallFailedMessage) +
            "OpenPipeWireRemote: " + reply.errorMessage().toStdString();
    return nullptr;
  }
  // QDBusUnixFileDescriptor closes its own copy; we keep one of ours.
  portal->pipewire_fd_ = UniqueFd(::fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 0));
  if (!portal->pipewire_fd_.valid()) {
    error = std::string(kPipeWireMessage) + "dup failed";
    return nullptr;
  }
  return portal;
}

ScreenCastPortal::ScreenCastPortal(OpenKey)
    : closed_watcher_(std::make_unique<SessionClosedWatcher>()) {}

bool ScreenCastPortal::ClosedByDesktop() const { return closed_watcher_->closed(); }

ScreenCastPortal::~ScreenCastPortal() {
  if (session_path_.empty() || ClosedByDesktop()) return;
  QDBusConnection::sessionBus().call(
      QDBusMessage::createMethodCall(Latin(kPortalService), QString::fromStdString(session_path_),
                                     Latin(kSessionInterface), QStringLiteral("Close")),
      QDBus::NoBlock);
}

}  // namespace orvamy::wayland
