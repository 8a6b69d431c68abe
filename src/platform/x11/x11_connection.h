#pragma once
// RAII for xcb: a connection that is closed with its owner, and replies that
// are freed. Private to the x11 back end (never included by Qt code or the core).

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <optional>

namespace orvamy::x11 {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

struct DisconnectDeleter {
  void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};

// One connection to the display named by $DISPLAY and its default screen.
class XcbConnection {
 public:
  // Connects; ok() tells whether it worked.
  XcbConnection();
  bool ok() const { return conn_ && !xcb_connection_has_error(conn_.get()); }
  xcb_connection_t* get() const { return conn_.get(); }
  const xcb_screen_t* screen() const { return screen_; }
  xcb_window_t root() const { return screen_ ? screen_->root : xcb_window_t{XCB_WINDOW_NONE}; }
  // The atom of a name, XCB_ATOM_NONE when it cannot be had.
  xcb_atom_t Atom(const char* name) const;

 private:
  std::unique_ptr<xcb_connection_t, DisconnectDeleter> conn_;
  const xcb_screen_t* screen_ = nullptr;
};

}  // namespace orvamy::x11
