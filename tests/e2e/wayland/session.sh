#!/usr/bin/env bash
# Runs inside a private session bus (dbus-run-session), as the unprivileged
# test user: PipeWire, WirePlumber, headless Mutter, our test portal back end
# and the real xdg-desktop-portal front end, then the probe three times:
#   1. following the pointer, approving the monitors (the "dialog"),
#   2. again, where the kept restore token must spare the dialog,
#   3. with a back end that offers no cursor metadata: a fixed rectangle,
#   4. with the dialog closed or refused: a message, no hang,
#   5. F7/F8 bound through the GlobalShortcuts portal and pressed;
# and the real program (test_program.py) after the second and third.
# Arguments: the work folder (holding the probe, the back end and logs).
set -uo pipefail
work=$1
logs=$work/logs
mkdir -p "$logs"
cd "$work"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
}
trap cleanup EXIT

fail() { echo "wayland e2e: FAILED: $*"; exit 1; }

# Waits up to $2 seconds for the bus name $1 to have an owner.
wait_for_name() {
  local tries=$(($2 * 5))
  while [ "$tries" -gt 0 ]; do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true' &&
      return 0
    sleep 0.2
    tries=$((tries - 1))
  done
  return 1
}

# Waits until Mutter's screen-cast interface is published: the name comes
# before the object's interfaces are exported.
wait_for_screen_cast() {
  local tries=150
  while [ "$tries" -gt 0 ]; do
    dbus-send --session --print-reply --dest=org.gnome.Mutter.ScreenCast \
      /org/gnome/Mutter/ScreenCast org.freedesktop.DBus.Properties.Get \
      string:org.gnome.Mutter.ScreenCast string:Version >/dev/null 2>&1 && return 0
    sleep 0.2
    tries=$((tries - 1))
  done
  return 1
}

start() {  # start NAME COMMAND...: in the background, logging to logs/NAME.log
  local name=$1; shift
  "$@" >"$logs/$name.log" 2>&1 &
  pids+=($!)
}

start pipewire pipewire
start wireplumber wireplumber
# Two monitors side by side, of different sizes and scales: one stream each,
# the first with pictures of twice its logical size.
gsettings set org.gnome.mutter experimental-features "['scale-monitor-framebuffer']" ||
  fail "cannot switch on Mutter's scaled monitors (gsettings)"
start mutter mutter --headless --virtual-monitor 2560x1440 --virtual-monitor 800x600 --no-x11 --wayland \
  --wayland-display=wayland-orvamy
wait_for_screen_cast || fail "Mutter's screen-cast API did not appear (logs/mutter.log)"
/usr/bin/python3 "$work/arrange_monitors.py" || fail "cannot lay out the monitors"

portal_pids=()
start_portals() {  # start_portals CURSOR_MODES [START_RESPONSE]
  local pid
  for pid in "${portal_pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  portal_pids=()
  ORVAMY_TEST_CURSOR_MODES=$1 ORVAMY_TEST_START_RESPONSE=${2:-0} \
    start "test-portal-$1-${2:-0}" /usr/bin/python3 "$work/test_portal.py"
  portal_pids+=("${pids[-1]}")
  wait_for_name org.freedesktop.impl.portal.desktop.orvamytest 20 ||
    fail "the test portal back end did not start (logs/test-portal-$1-${2:-0}.log)"
  start "xdg-desktop-portal-$1-${2:-0}" /usr/libexec/xdg-desktop-portal --verbose
  portal_pids+=("${pids[-1]}")
  wait_for_name org.freedesktop.portal.Desktop 20 ||
    fail "xdg-desktop-portal did not start (logs/xdg-desktop-portal-$1-${2:-0}.log)"
}

dialogs_shown() {
  dbus-send --session --print-reply=literal --dest=org.freedesktop.impl.portal.desktop.orvamytest \
    /org/freedesktop/portal/desktop org.orvamy.TestPortal.DialogsShown | awk '{print $2}'
}

probe() {  # probe LOG [--fixed | --shortcuts]
  local name=$1; shift
  QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=wayland-orvamy timeout 90 "$work/wayland_capture_probe" "$@" \
    2>"$logs/$name.stderr" | tee "$logs/$name.log"
  return "${PIPESTATUS[0]}"
}

token=$XDG_CONFIG_HOME/orvamy-gif/portal-restore-token
start_portals 7
probe probe-follow || fail "following the pointer (logs/probe-follow.*)"
[ -s "$token" ] || fail "no restore token was kept at $token"
echo "wayland e2e: ok: restore token kept"
probe probe-again || fail "the second run (logs/probe-again.*)"
shown=$(dialogs_shown)
[ "$shown" = 1 ] || fail "the portal asked $shown times, expected once (restore token not reused)"
echo "wayland e2e: ok: the second run reused the approval (dialogs shown: $shown)"

# The real program, natively on Wayland: --start/--stop, F7/F8, SIGTERM.
export WAYLAND_DISPLAY=wayland-orvamy
/usr/bin/python3 "$work/test_program.py" "$work" follow || fail "the program following the pointer (logs/program-follow.*)"

start_portals 3
probe probe-fixed --fixed || fail "without cursor metadata (logs/probe-fixed.*)"
/usr/bin/python3 "$work/test_program.py" "$work" fixed || fail "the program without cursor metadata (logs/program-fixed.*)"

# The user closes the dialog (response 1), or the desktop refuses (2): a
# clear message, and the probe ends instead of waiting.
expect_refusal() {  # expect_refusal RESPONSE TEXT
  start_portals 7 "$1"
  local status=0
  probe "probe-response-$1" >/dev/null || status=$?
  [ "$status" -eq 2 ] || fail "response $1: the probe ended with $status, expected 2 (no capture)"
  grep -q "$2" "$logs/probe-response-$1.log" || fail "response $1: no message saying '$2'"
  echo "wayland e2e: ok: response $1 gives: $(sed -n 's/^probe: the capture did not start: //p' "$logs/probe-response-$1.log")"
}
expect_refusal 1 "屏幕共享被取消了"
expect_refusal 2 "桌面拒绝了屏幕共享请求"

probe probe-shortcuts --shortcuts || fail "F7/F8 through the GlobalShortcuts portal (logs/probe-shortcuts.*)"
echo "wayland e2e: all checks passed"
