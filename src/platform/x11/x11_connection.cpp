#include "platform/x11/x11_connection.h"

#include <cstring>

namespace orvamy::x11 {

XcbConnection::XcbConnection() {
  int screen_number = 0;
  conn_.reset(xcb_connect(nullptr, &screen_number));
  if (!ok()) return;
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(conn_.get()));
  for (int i = 0; it.rem > 0; xcb_screen_next(&it), ++i) {
    if (i == screen_number) {
      screen_ = it.data;
      break;
    }
  }
}

xcb_atom_t XcbConnection::Atom(const char* name) const {
  if (!ok()) return XCB_ATOM_NONE;
  const auto cookie =
      xcb_intern_atom(conn_.get(), 0, static_cast<std::uint16_t>(std::strlen(name)), name);
  XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(conn_.get(), cookie, nullptr));
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

}  // namespace orvamy::x11
