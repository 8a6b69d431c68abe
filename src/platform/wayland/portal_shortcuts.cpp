#include "platform/wayland/portal_shortcuts.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QList>

#include "platform/wayland/portal_request.h"
#include "platform/wayland/wayland_messages.h"

namespace orvamy::wayland {
namespace {

constexpr char kShortcutsInterface[] = "org.freedesktop.portal.GlobalShortcuts";

// One entry of BindShortcuts' a(sa{sv}).
struct Shortcut {
  QString id;
  QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut) {
  argument.beginStructure();
  argument << shortcut.id << shortcut.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut) {
  argument.beginStructure();
  argument >> shortcut.id >> shortcut.properties;
  argument.endStructure();
  return argument;
}

}  // namespace
}  // namespace orvamy::wayland

Q_DECLARE_METATYPE(orvamy::wayland::Shortcut)

namespace orvamy::wayland {
namespace {

QString Latin(const char* text) {
  return QString::fromLatin1(text);
}

bool PortalHasShortcuts(QDBusConnection& bus) {
  QDBusMessage get = QDBusMessage::createMethodCall(
      Latin(kPortalService), Latin(kPortalPath), QStringLiteral("org.freedesktop.DBus.Properties"),
      QStringLiteral("Get"));
  get.setArguments({Latin(kShortcutsInterface), QStringLiteral("version")});
  return bus.call(get, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
}

QList<Shortcut> WantedShortcuts() {
  return {
      {Latin(kStartShortcutId),
       {{QStringLiteral("description"), QStringLiteral("开始录制 GIF")},
        {QStringLiteral("preferred_trigger"), QStringLiteral("F7")}}},
      {Latin(kStopShortcutId),
       {{QStringLiteral("description"), QStringLiteral("停止录制并保存 GIF")},
        {QStringLiteral("preferred_trigger"), QStringLiteral("F8")}}},
  };
}

std::string Explain(const PortalAnswer& answer) {
  switch (answer.outcome) {
    case PortalAnswer::Outcome::kAccepted:
      return {};
    case PortalAnswer::Outcome::kCancelled:
      return std::string(kShortcutsRefusedMessage) + "cancelled";
    case PortalAnswer::Outcome::kRefused:
      return std::string(kShortcutsRefusedMessage) + "refused";
    case PortalAnswer::Outcome::kTimedOut:
      return std::string(kShortcutsRefusedMessage) + "no answer";
    case PortalAnswer::Outcome::kCallFailed:
      return std::string(kShortcutsRefusedMessage) + answer.detail;
  }
  return std::string(kShortcutsRefusedMessage);
}

}  // namespace

ShortcutListener::ShortcutListener(QString session_path,
                                   std::function<void(const std::string&)> on_activated)
    : session_path_(std::move(session_path)), on_activated_(std::move(on_activated)) {}

void ShortcutListener::OnActivated(const QDBusObjectPath& session, const QString& shortcut_id,
                                   qulonglong, const QVariantMap&) {
  // The signal is broadcast for every session of ours; take our own only.
  if (session.path() != session_path_) return;
  on_activated_(shortcut_id.toStdString());
}

std::unique_ptr<GlobalShortcutsPortal> GlobalShortcutsPortal::Open(
    std::function<void(const std::string&)> on_activated, std::string& error,
    std::chrono::milliseconds timeout) {
  qDBusRegisterMetaType<Shortcut>();
  qDBusRegisterMetaType<QList<Shortcut>>();
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    error = kNoSessionBusMessage;
    return nullptr;
  }
  if (!PortalHasShortcuts(bus)) {
    error = kNoShortcutsPortalMessage;
    return nullptr;
  }
  PortalRequest request(bus);
  const QString interface = Latin(kShortcutsInterface);
  const PortalAnswer created =
      request.Call(interface, QStringLiteral("CreateSession"), {},
                   {{QStringLiteral("session_handle_token"), request.NewToken()}}, timeout);
  if (created.outcome != PortalAnswer::Outcome::kAccepted) {
    error = Explain(created);
    return nullptr;
  }
  auto portal = std::make_unique<GlobalShortcutsPortal>(OpenKey());
  portal->session_path_ = created.results.value(QStringLiteral("session_handle")).toString();
  // Listening before binding: a key pressed at once is not lost.
  portal->listener_ =
      std::make_unique<ShortcutListener>(portal->session_path_, std::move(on_activated));
  bus.connect(Latin(kPortalService), Latin(kPortalPath), interface, QStringLiteral("Activated"),
              portal->listener_.get(),
              SLOT(OnActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));

  const PortalAnswer bound =
      request.Call(interface, QStringLiteral("BindShortcuts"),
                   {QVariant::fromValue(QDBusObjectPath(portal->session_path_)),
                    QVariant::fromValue(WantedShortcuts()), QString()},
                   {}, timeout);
  if (bound.outcome != PortalAnswer::Outcome::kAccepted) {
    error = Explain(bound);
    return nullptr;
  }
  const QVariant shortcuts = bound.results.value(QStringLiteral("shortcuts"));
  if (shortcuts.canConvert<QDBusArgument>()) {
    QList<Shortcut> granted;
    shortcuts.value<QDBusArgument>() >> granted;
    for (const Shortcut& shortcut : granted) {
      const std::string trigger =
          shortcut.properties.value(QStringLiteral("trigger_description")).toString().toStdString();
      if (shortcut.id == Latin(kStartShortcutId)) portal->start_trigger_ = trigger;
      if (shortcut.id == Latin(kStopShortcutId)) portal->stop_trigger_ = trigger;
    }
  }
  return portal;
}

GlobalShortcutsPortal::~GlobalShortcutsPortal() {
  if (session_path_.isEmpty()) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.disconnect(Latin(kPortalService), Latin(kPortalPath), Latin(kShortcutsInterface),
                 QStringLiteral("Activated"), listener_.get(),
                 SLOT(OnActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
  bus.call(QDBusMessage::createMethodCall(Latin(kPortalService), session_path_,
                                          QStringLiteral("org.freedesktop.portal.Session"),
                                          QStringLiteral("Close")),
           QDBus::NoBlock);
}

}  // namespace orvamy::wayland
