/* Test helper: holds a plain key grab on the root window (as another program
 * would), prints "ready" and waits until killed. Usage: grab_key KEYSYM_HEX */
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <xcb/xcb.h>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const xcb_keysym_t sym = (xcb_keysym_t)strtoul(argv[1], NULL, 16);
  xcb_connection_t* c = xcb_connect(NULL, NULL);
  if (xcb_connection_has_error(c)) return 1;
  const xcb_setup_t* setup = xcb_get_setup(c);
  xcb_window_t root = xcb_setup_roots_iterator(setup).data->root;
  const int count = setup->max_keycode - setup->min_keycode + 1;
  xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
      c, xcb_get_keyboard_mapping(c, setup->min_keycode, (uint8_t)count), NULL);
  if (!map) return 1;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
  const int per = map->keysyms_per_keycode;
  int grabbed = 0;
  for (int i = 0; i < count * per; ++i) {
    if (syms[i] != sym) continue;
    const xcb_keycode_t code = (xcb_keycode_t)(setup->min_keycode + i / per);
    xcb_generic_error_t* e = xcb_request_check(
        c, xcb_grab_key_checked(c, 1, root, 0, code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    if (e) free(e); else grabbed = 1;
  }
  free(map);
  if (!grabbed) return 1;
  printf("ready\n");
  fflush(stdout);
  for (;;) {
    xcb_generic_event_t* ev = xcb_wait_for_event(c);
    if (!ev) return 0;
    free(ev);
  }
}
