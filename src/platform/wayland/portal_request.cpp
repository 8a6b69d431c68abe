#include "platform/wayland/portal_request.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>

namespace orvamy::wayland {
namespace {

constexpr char kRequestInterface[] = "org.freedesktop.portal.Request";

PortalAnswer FromResponse(const ResponseCatcher& catcher) {
  PortalAnswer answer;
  // 0 success, 1 cancelled by the user, anything else ended another way.
  switch (catcher.code()) {
    case 0:
      answer.outcome = PortalAnswer::Outcome::kAccepted;
      answer.results = catcher.results();
      break;
    case 1:
      answer.outcome = PortalAnswer::Outcome::kCancelled;
      break;
    default:
      answer.outcome = PortalAnswer::Outcome::kRefused;
      break;
  }
  return answer;
}

}  // namespace

void SessionClosedWatcher::OnClosed(const QVariantMap&) { closed_.store(true); }

void ResponseCatcher::OnResponse(uint response, const QVariantMap& results) {
  if (arrived_) return;
  arrived_ = true;
  code_ = response;
  results_ = results;
  Q_EMIT Arrived();
}

PortalRequest::PortalRequest(QDBusConnection bus) : bus_(std::move(bus)) {
  // ":1.42" is spelled "1_42" in request paths.
  sender_ = bus_.baseService().mid(1).replace('.', '_');
  // Random per process: two of our requests alive at once never share a path,
  // and neither does a request of an earlier run the portal still tracks.
  token_prefix_ = QStringLiteral("orvamy%1_").arg(QRandomGenerator::global()->generate());
}

QString PortalRequest::NewToken() {
  return token_prefix_ + QString::number(++next_token_);
}

QString PortalRequest::RequestPath(const QString& token) const {
  return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender_, token);
}

PortalAnswer PortalRequest::Call(const QString& interface, const QString& method,
                                 QVariantList arguments, QVariantMap options,
                                 std::chrono::milliseconds timeout) {
  const QString token = NewToken();
  options.insert(QStringLiteral("handle_token"), token);
  arguments.append(options);
  QString request_path = RequestPath(token);

  ResponseCatcher catcher;
  const auto listen = [&](const QString& path) {
    return bus_.connect(QString::fromLatin1(kPortalService), path,
                        QString::fromLatin1(kRequestInterface), QStringLiteral("Response"),
                        &catcher, SLOT(OnResponse(uint, QVariantMap)));
  };
  const auto stop_listening = [&](const QString& path) {
    bus_.disconnect(QString::fromLatin1(kPortalService), path,
                    QString::fromLatin1(kRequestInterface), QStringLiteral("Response"), &catcher,
                    SLOT(OnResponse(uint, QVariantMap)));
  };
  listen(request_path);

  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(kPortalService), QString::fromLatin1(kPortalPath), interface, method);
  call.setArguments(arguments);
  const QDBusMessage reply = bus_.call(call, QDBus::Block, static_cast<int>(timeout.count()));
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    stop_listening(request_path);
    PortalAnswer failed;
    failed.detail = (method + QStringLiteral(": ") + reply.errorName() + QStringLiteral(" ") +
                     reply.errorMessage())
                        .toStdString();
    return failed;
  }
  // Portals older than the handle_token convention pick their own path.
  const QString returned = reply.arguments().front().value<QDBusObjectPath>().path();
  if (!returned.isEmpty() && returned != request_path) {
    stop_listening(request_path);
    request_path = returned;
    listen(request_path);
  }

  if (!catcher.arrived()) {
    QEventLoop loop;
    QObject::connect(&catcher, &ResponseCatcher::Arrived, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    loop.exec();
  }
  stop_listening(request_path);
  if (!catcher.arrived()) {
    // Take the dialog down with the request: nobody waits for it any more.
    bus_.call(QDBusMessage::createMethodCall(QString::fromLatin1(kPortalService), request_path,
                                             QString::fromLatin1(kRequestInterface),
                                             QStringLiteral("Close")),
              QDBus::NoBlock);
    PortalAnswer timed_out;
    timed_out.outcome = PortalAnswer::Outcome::kTimedOut;
    return timed_out;
  }
  return FromResponse(catcher);
}

}  // namespace orvamy::wayland
