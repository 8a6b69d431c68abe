#pragma once
// The desktop portal's screen cast (org.freedesktop.portal.ScreenCast) over
// the session bus: one session that shares every monitor the user picks, and
// the PipeWire connection that carries their pictures. The monitors chosen are
// remembered with the portal's restore token, so the dialog comes once.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/wayland/unique_fd.h"
#include "ports/ports.h"

namespace orvamy::wayland {

// One shared monitor: its PipeWire node and its logical place on the desktop.
struct PortalStream {
  std::uint32_t node_id = 0;
  ScreenRect logical;
};

struct PortalOptions {
  // Where the restore token is kept; nullopt: none is read or written.
  std::optional<std::filesystem::path> restore_token_path;
  // How long the user may take in the portal's dialog before we give up. The
  // portal answers "cancelled" when the dialog is closed; this bounds a portal
  // that never answers at all.
  std::chrono::milliseconds dialog_timeout{std::chrono::minutes(3)};
  // How long the calls without a dialog may take.
  std::chrono::milliseconds call_timeout{std::chrono::seconds(30)};
};

class SessionClosedWatcher;  // portal_request.h

class ScreenCastPortal {
 public:
  // Opens the session: CreateSession, SelectSources (monitors, several
  // allowed, pointer as metadata where offered, else drawn into the picture),
  // Start (the dialog, unless the restore token is honoured) and
  // OpenPipeWireRemote. Null with `error` set to a message for the user.
  // Called on the UI thread only: it runs a local event loop while it waits
  // for each answer, never longer than the options allow.
  static std::unique_ptr<ScreenCastPortal> Open(const PortalOptions& options, std::string& error);

  // Closes the portal session (the compositor stops the streams).
  // Called on the UI thread only.
  ~ScreenCastPortal();
  ScreenCastPortal(const ScreenCastPortal&) = delete;
  ScreenCastPortal& operator=(const ScreenCastPortal&) = delete;

  // The monitors shared, in the portal's order. Thread-safe (fixed once open).
  const std::vector<PortalStream>& streams() const { return streams_; }
  // Whether each buffer carries the pointer's position. Thread-safe.
  bool pointer_metadata() const { return pointer_metadata_; }
  // Whether the desktop has closed the session since it was opened. Thread-safe.
  bool ClosedByDesktop() const;
  // The PipeWire connection, once; invalid afterwards. Called on the UI thread only.
  UniqueFd TakePipeWireFd() { return std::move(pipewire_fd_); }

 private:
  // Only Open makes one.
  struct OpenKey {
    explicit OpenKey() = default;
  };

 public:
  // Used by Open only. Called on the UI thread only.
  explicit ScreenCastPortal(OpenKey);

 private:
  std::string session_path_;
  std::vector<PortalStream> streams_;
  bool pointer_metadata_ = false;
  UniqueFd pipewire_fd_;
  std::unique_ptr<SessionClosedWatcher> closed_watcher_;
};

}  // namespace orvamy::wayland
