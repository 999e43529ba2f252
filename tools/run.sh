#!/usr/bin/env bash
# Builds Avendrel for Linux and starts it on your display.
#
#   sudo ./tools/run.sh     (installs missing packages first)
#   ./tools/run.sh          (when the packages are already there)
#
# With no display to show it on (e.g. on a server), it starts a virtual one
# (Xvfb), shows the window there, saves a screenshot of that screen, says
# where it is, and then ends the program with a close request, as a desktop
# would.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if [ "${1:-}" != "--installed" ]; then
  tools/install-deps.sh
  # Build and run as the user who called sudo, so that build/ stays theirs.
  if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
    exec sudo -u "$SUDO_USER" --preserve-env=DISPLAY,XAUTHORITY,WAYLAND_DISPLAY \
      "$root/tools/run.sh" --installed
  fi
fi

echo "== building (preset linux)"
cmake --preset linux >/dev/null
cmake --build --preset linux --target Avendrel
program="$root/build/linux/app/Avendrel"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "== starting Avendrel on display $DISPLAY (close its window to end it)"
  exec "$program"
fi

echo "== no display here: starting a virtual one (Xvfb)"
screenshot="$root/build/linux/avendrel-screen.png"
coproc XVFB { exec Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp 2>/dev/null; }
xvfb_pid=$XVFB_PID
program_pid=
cleanup() {
  if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null || true; fi
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
if ! read -r -t 20 number <&"${XVFB[0]}"; then
  echo "run: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=":$number"

"$program" &
program_pid=$!

# Waits for the window, saves the screen, and asks the window to close.
/usr/bin/python3 - "$screenshot" <<'PYTHON'
import sys, time
from PIL import Image
from Xlib import X, display
from Xlib.protocol import event

d = display.Display()
root = d.screen().root
deadline = time.monotonic() + 30
window = None
while window is None:
    if time.monotonic() > deadline:
        sys.exit("run: the window did not appear")
    for child in root.query_tree().children:
        try:
            if child.get_wm_name() == "Avendrel" and \
                    child.get_attributes().map_state == X.IsViewable and \
                    child.get_geometry().width == 800:
                window = child
        except Exception:
            pass
    time.sleep(0.05)
time.sleep(0.5)
width, height = d.screen().width_in_pixels, d.screen().height_in_pixels
raw = root.get_image(0, 0, width, height, X.ZPixmap, 0xFFFFFFFF)
Image.frombytes("RGB", (width, height), raw.data, "raw", "BGRX").save(sys.argv[1])
print("== the window is on the virtual screen; screenshot saved to " + sys.argv[1])
protocols, delete = d.intern_atom("WM_PROTOCOLS"), d.intern_atom("WM_DELETE_WINDOW")
window.send_event(event.ClientMessage(window=window, client_type=protocols,
                                      data=(32, [delete, X.CurrentTime, 0, 0, 0])),
                  event_mask=0)
d.sync()
print("== sent the window a close request")
PYTHON

status=0
wait "$program_pid" || status=$?
program_pid=
echo "== Avendrel ended with status $status"
exit "$status"
