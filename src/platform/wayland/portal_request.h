#pragma once
// The portal's request pattern: a method returns a Request object at once and
// its answer comes later as that object's Response signal. We choose the
// object's path ourselves (handle_token) and listen on it before calling, so
// an answer that comes quickly is never missed.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <atomic>
#include <chrono>
#include <string>

namespace orvamy::wayland {

inline constexpr char kPortalService[] = "org.freedesktop.portal.Desktop";
inline constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";

struct PortalAnswer {
  enum class Outcome { kAccepted, kCancelled, kRefused, kTimedOut, kCallFailed };
  Outcome outcome = Outcome::kCallFailed;
  QVariantMap results;
  std::string detail;  // the bus error, for kCallFailed
};

// Receives one Response signal. Internal to PortalRequest.
class ResponseCatcher : public QObject {
  Q_OBJECT
 public:
  // Called on the UI thread only, as every method here.
  bool arrived() const { return arrived_; }
  unsigned code() const { return code_; }
  const QVariantMap& results() const { return results_; }

 Q_SIGNALS:
  void Arrived();

 public Q_SLOTS:
  // Called on the UI thread only (the bus delivers signals there).
  void OnResponse(uint response, const QVariantMap& results);

 private:
  bool arrived_ = false;
  unsigned code_ = 2;
  QVariantMap results_;
};

// Hears the portal's Closed signal for our session: the desktop (or the user,
// from the desktop's own controls) ended the sharing.
class SessionClosedWatcher : public QObject {
  Q_OBJECT
 public:
  // Thread-safe.
  bool closed() const { return closed_.load(); }

 public Q_SLOTS:
  // Called on the UI thread only (the bus delivers signals there).
  void OnClosed(const QVariantMap& details);

 private:
  std::atomic<bool> closed_{false};
};

class PortalRequest {
 public:
  // Called on the UI thread only.
  explicit PortalRequest(QDBusConnection bus);

  // A fresh token for the options' "handle_token" (or "session_handle_token").
  // Called on the UI thread only.
  QString NewToken();

  // Calls `interface.method(arguments)` on the portal, where `options` (the
  // last argument, added here with a handle_token) is the call's a{sv}, and
  // waits for its Response, at most `timeout`; a local event loop runs
  // meanwhile. A request that times out is closed, so a dialog still open
  // goes away. Called on the UI thread only.
  PortalAnswer Call(const QString& interface, const QString& method, QVariantList arguments,
                    QVariantMap options, std::chrono::milliseconds timeout);

 private:
  QString RequestPath(const QString& token) const;

  QDBusConnection bus_;
  QString sender_;  // our unique name as the portal spells it in paths
  unsigned next_token_ = 0;
  QString token_prefix_;
};

}  // namespace orvamy::wayland
