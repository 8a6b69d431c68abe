#include "platform/x11/x11_hotkeys.h"

#include <algorithm>

#include "hotkeys/hotkey_dispatcher.h"
#include "platform/x11/x11_connection.h"

namespace orvamy::x11 {
namespace {

constexpr xcb_keysym_t kKeysymF1 = 0xFFBE;
constexpr xcb_keysym_t kKeysymNumLock = 0xFF7F;
constexpr xcb_keysym_t kKeysymScrollLock = 0xFF14;

// Windows key codes to X key symbols: F1..F24, digits and letters.
xcb_keysym_t KeysymFor(Key key) {
  switch (key) {
    case Key::kF7:
      return kKeysymF1 + 6;
    case Key::kF8:
      return kKeysymF1 + 7;
  }
  return 0;
}

std::uint16_t ModifierMask(Modifiers modifiers) {
  std::uint16_t mask = 0;
  if (Has(modifiers, Modifiers::kCtrl)) mask |= XCB_MOD_MASK_CONTROL;
  if (Has(modifiers, Modifiers::kShift)) mask |= XCB_MOD_MASK_SHIFT;
  if (Has(modifiers, Modifiers::kAlt)) mask |= XCB_MOD_MASK_1;
  return mask;
}

// Identifiers handed out in registration order; 0 means refused.
constexpr std::int32_t kFirstGrabId = 1;

}  // namespace

struct X11Hotkeys::Impl {
  struct Grab {
    xcb_keycode_t keycode;
    std::uint16_t modifiers;
    std::int32_t id;
  };

  XcbConnection conn;
  std::vector<Grab> grabs;
  std::vector<std::uint16_t> lock_combinations;  // every subset of the lock masks, 0 included
  std::uint16_t all_locks = 0;
  std::int32_t next_id = kFirstGrabId;
  xcb_keycode_t min_keycode = 0;
  std::vector<xcb_keysym_t> keysyms;  // the keyboard map from min_keycode on
  int keysyms_per_keycode = 0;

  Impl() {
    if (!conn.ok() || !conn.screen()) return;
    xcb_connection_t* c = conn.get();
    const xcb_setup_t* setup = xcb_get_setup(c);
    min_keycode = setup->min_keycode;
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    XcbReply<xcb_get_keyboard_mapping_reply_t> map(xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr));
    if (map) {
      keysyms_per_keycode = map->keysyms_per_keycode;
      const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
      keysyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(map.get()));
    }

    // Caps Lock is always Lock; Num Lock and Scroll Lock sit on whichever ModN
    // the keyboard map puts them.
    std::vector<std::uint16_t> locks = {XCB_MOD_MASK_LOCK};
    XcbReply<xcb_get_modifier_mapping_reply_t> mods(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
    if (mods) {
      const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mods.get());
      const int per = mods->keycodes_per_modifier;
      for (const xcb_keysym_t lock_sym : {kKeysymNumLock, kKeysymScrollLock}) {
        const auto lock_codes = KeycodesFor(lock_sym);
        for (int m = 3; m < 8; ++m) {  // Mod1..Mod5 (0 Shift, 1 Lock, 2 Control)
          for (int k = 0; k < per; ++k) {
            const xcb_keycode_t code = codes[m * per + k];
            if (code != 0 && std::find(lock_codes.begin(), lock_codes.end(), code) != lock_codes.end()) {
              locks.push_back(static_cast<std::uint16_t>(1u << m));
            }
          }
        }
      }
    }
    // A lock sharing Mod1 (Alt) or with Control/Shift would let those through: leave it out.
    locks.erase(std::remove_if(locks.begin(), locks.end(),
                               [](std::uint16_t m) { return m == XCB_MOD_MASK_1; }),
                locks.end());
    std::sort(locks.begin(), locks.end());
    locks.erase(std::unique(locks.begin(), locks.end()), locks.end());
    for (const std::uint16_t m : locks) all_locks |= m;
    const unsigned n = static_cast<unsigned>(locks.size());
    for (unsigned subset = 0; subset < (1u << n); ++subset) {
      std::uint16_t combo = 0;
      for (unsigned i = 0; i < n; ++i) {
        if (subset & (1u << i)) combo |= locks[i];
      }
      lock_combinations.push_back(combo);
    }
  }

  std::vector<xcb_keycode_t> KeycodesFor(xcb_keysym_t sym) const {
    std::vector<xcb_keycode_t> codes;
    if (keysyms_per_keycode <= 0) return codes;
    const auto per = static_cast<std::size_t>(keysyms_per_keycode);
    for (std::size_t i = 0; i < keysyms.size(); ++i) {
      if (keysyms[i] == sym) {
        const auto code = static_cast<xcb_keycode_t>(min_keycode + i / per);
        if (std::find(codes.begin(), codes.end(), code) == codes.end()) codes.push_back(code);
      }
    }
    return codes;
  }

  // Grabs the key in every lock combination; all or nothing.
  bool GrabAll(xcb_keycode_t keycode, std::uint16_t modifiers) {
    xcb_connection_t* c = conn.get();
    std::vector<xcb_void_cookie_t> cookies;
    for (const std::uint16_t lock : lock_combinations) {
      cookies.push_back(xcb_grab_key_checked(c, 1, conn.root(),
                                             static_cast<std::uint16_t>(modifiers | lock), keycode,
                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    std::vector<std::uint16_t> granted;
    bool refused = false;
    for (std::size_t i = 0; i < cookies.size(); ++i) {
      XcbReply<xcb_generic_error_t> error(xcb_request_check(c, cookies[i]));
      if (error) {
        refused = true;
      } else {
        granted.push_back(static_cast<std::uint16_t>(modifiers | lock_combinations[i]));
      }
    }
    if (refused) {
      for (const std::uint16_t m : granted) xcb_ungrab_key(c, keycode, conn.root(), m);
      xcb_flush(c);
    }
    return !refused;
  }
};

X11Hotkeys::X11Hotkeys() : impl_(std::make_unique<Impl>()) {}
X11Hotkeys::~X11Hotkeys() = default;

std::int32_t X11Hotkeys::RegisterGlobalHotkey(Modifiers modifiers, Key key) {
  Impl& s = *impl_;
  if (!s.conn.ok() || !s.conn.screen()) return 0;
  const xcb_keysym_t sym = KeysymFor(key);
  if (sym == 0) return 0;
  const auto codes = s.KeycodesFor(sym);
  if (codes.empty()) return 0;
  const std::uint16_t mask = ModifierMask(modifiers);
  std::vector<xcb_keycode_t> grabbed;
  for (const xcb_keycode_t code : codes) {
    if (!s.GrabAll(code, mask)) {
      for (const xcb_keycode_t g : grabbed) {
        for (const std::uint16_t lock : s.lock_combinations) {
          xcb_ungrab_key(s.conn.get(), g, s.conn.root(), static_cast<std::uint16_t>(mask | lock));
        }
      }
      xcb_flush(s.conn.get());
      return 0;
    }
    grabbed.push_back(code);
  }
  const std::int32_t id = s.next_id++;
  for (const xcb_keycode_t code : grabbed) s.grabs.push_back({code, mask, id});
  return id;
}

int X11Hotkeys::FileDescriptor() const {
  return impl_->conn.ok() ? xcb_get_file_descriptor(impl_->conn.get()) : -1;
}

std::vector<std::int32_t> X11Hotkeys::TakePressed() {
  std::vector<std::int32_t> pressed;
  Impl& s = *impl_;
  if (!s.conn.ok()) return pressed;
  while (true) {
    XcbReply<xcb_generic_event_t> event(xcb_poll_for_event(s.conn.get()));
    if (!event) break;
    if ((event->response_type & 0x7F) != XCB_KEY_PRESS) continue;
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event.get());
    const auto mods = static_cast<std::uint16_t>(key->state & ~s.all_locks &
                                                 (XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL |
                                                  XCB_MOD_MASK_1 | XCB_MOD_MASK_4));
    for (const Impl::Grab& g : s.grabs) {
      if (g.keycode == key->detail && g.modifiers == mods) pressed.push_back(g.id);
    }
  }
  return pressed;
}

}  // namespace orvamy::x11
