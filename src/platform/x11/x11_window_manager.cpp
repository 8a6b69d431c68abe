#include "platform/x11/x11_window_manager.h"

#include "platform/x11/x11_connection.h"

namespace orvamy::x11 {

struct X11WindowManager::Impl {
  XcbConnection conn;
  xcb_atom_t net_wm_state = XCB_ATOM_NONE;
  xcb_atom_t above = XCB_ATOM_NONE;
  Impl() {
    net_wm_state = conn.Atom("_NET_WM_STATE");
    above = conn.Atom("_NET_WM_STATE_ABOVE");
  }
};

X11WindowManager::X11WindowManager() : impl_(std::make_unique<Impl>()) {}
X11WindowManager::~X11WindowManager() = default;

bool X11WindowManager::SetAlwaysOnTop(std::uint32_t window, bool on_top) {
  Impl& s = *impl_;
  if (!s.conn.ok() || !s.conn.screen() || s.net_wm_state == XCB_ATOM_NONE) return false;
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = s.net_wm_state;
  event.data.data32[0] = on_top ? 1 : 0;  // _NET_WM_STATE_ADD / _REMOVE
  event.data.data32[1] = s.above;
  event.data.data32[2] = 0;
  event.data.data32[3] = 1;  // source: an ordinary application
  xcb_send_event(s.conn.get(), 0, s.conn.root(),
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&event));
  xcb_flush(s.conn.get());
  return true;
}

}  // namespace orvamy::x11
