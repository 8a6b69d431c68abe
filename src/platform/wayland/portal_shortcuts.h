#pragma once
// System-wide hot keys on Wayland through the desktop portal
// (org.freedesktop.portal.GlobalShortcuts): "start" and "stop" with F7 and F8
// as the preferred keys. The desktop decides the keys in the end (it may ask
// the user); each press arrives as the portal's Activated signal.

#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace orvamy::wayland {

inline constexpr char kStartShortcutId[] = "start";
inline constexpr char kStopShortcutId[] = "stop";

// Receives the Activated signal. Internal to GlobalShortcutsPortal.
class ShortcutListener : public QObject {
  Q_OBJECT
 public:
  // Called on the UI thread only.
  ShortcutListener(QString session_path, std::function<void(const std::string&)> on_activated);

 public Q_SLOTS:
  // Called on the UI thread only (the bus delivers signals there).
  void OnActivated(const QDBusObjectPath& session, const QString& shortcut_id, qulonglong timestamp,
                   const QVariantMap& options);

 private:
  QString session_path_;
  std::function<void(const std::string&)> on_activated_;
};

class GlobalShortcutsPortal {
 public:
  // Creates the session and binds "start" (F7) and "stop" (F8); each press
  // calls `on_activated` with the shortcut's id, on the UI thread. Null with
  // `error` set (a message for the user) where the portal has no such
  // interface or refuses. Called on the UI thread only: runs a local event
  // loop while it waits, at most `timeout` per call (binding may show a
  // dialog).
  static std::unique_ptr<GlobalShortcutsPortal> Open(
      std::function<void(const std::string&)> on_activated, std::string& error,
      std::chrono::milliseconds timeout = std::chrono::minutes(2));

  // Closes the session, which releases the keys. Called on the UI thread only.
  ~GlobalShortcutsPortal();
  GlobalShortcutsPortal(const GlobalShortcutsPortal&) = delete;
  GlobalShortcutsPortal& operator=(const GlobalShortcutsPortal&) = delete;

  // The keys the desktop says it bound, for the window's status line (may be
  // empty where the desktop does not tell). Thread-safe (fixed once open).
  const std::string& start_trigger() const { return start_trigger_; }
  const std::string& stop_trigger() const { return stop_trigger_; }

 private:
  struct OpenKey {
    explicit OpenKey() = default;
  };

 public:
  // Used by Open only. Called on the UI thread only.
  explicit GlobalShortcutsPortal(OpenKey) {}

 private:
  QString session_path_;
  std::unique_ptr<ShortcutListener> listener_;
  std::string start_trigger_;
  std::string stop_trigger_;
};

}  // namespace orvamy::wayland
