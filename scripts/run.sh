#!/usr/bin/env bash
# Starts Tarvo Studio from a build folder: scripts/run.sh [BUILD_DIR]
#
# With a display (X11 or Wayland), this simply runs the application. On a
# machine without one it brings its own: a virtual X server and a session bus.
# It waits until the backend's page has loaded, saves a screenshot to /tmp,
# prints its path and keeps running until interrupted; Ctrl+C asks the
# application to quit (the same road as any quit request), then stops the X
# server.
set -euo pipefail

build=${1:-build}
app="$build/bundle/bin/tarvo-studio"
if [ ! -x "$app" ]; then
  echo "run.sh: $app is missing; build first (make build)" >&2
  exit 1
fi

# A Wayland session counts only while its compositor's socket is there (a
# name left over in the environment, say over ssh, is no display).
wayland_session() {
  case "${WAYLAND_DISPLAY:-}" in
  "") return 1 ;;
  /*) [ -S "$WAYLAND_DISPLAY" ] ;;
  *) [ -n "${XDG_RUNTIME_DIR:-}" ] && [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] ;;
  esac
}

if [ -n "${DISPLAY:-}" ] || wayland_session; then
  exec "$app"
fi

for tool in Xvfb dbus-run-session import; do
  if ! command -v "$tool" >/dev/null; then
    echo "run.sh: no display, and $tool to make one is missing (make deps)" >&2
    exit 1
  fi
done

workdir=$(mktemp -d /tmp/tarvo-studio-run.XXXXXX)
xvfb_pid=""
app_group=""

app_pid() {
  # The application is the child of dbus-run-session.
  [ -n "$app_group" ] && pgrep -P "$app_group" -x tarvo-studio | head -n 1
}

stop_all() {
  trap - INT TERM EXIT
  local pid
  pid=$(app_pid || true)
  if [ -n "$pid" ]; then
    echo "Asking Tarvo Studio to quit..."
    kill -INT "$pid" 2>/dev/null || true
    # The quit confirmation may show a dialog nobody can see here; after a
    # while the request is repeated as a termination signal, then forced.
    for _ in $(seq 1 150); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
      kill -TERM "$pid" 2>/dev/null || true
      sleep 3
    fi
    if kill -0 "$pid" 2>/dev/null; then
      echo "Tarvo Studio did not quit; killing it." >&2
      kill -KILL "$pid" 2>/dev/null || true
    fi
  fi
  [ -n "$app_group" ] && wait "$app_group" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null || true
  rm -rf "$workdir"
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# A free display, chosen by the server itself.
mkfifo "$workdir/displayfd"
setsid Xvfb -displayfd 3 -screen 0 1400x1000x24 -nolisten tcp 3>"$workdir/displayfd" \
  >"$workdir/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 20 display_number <"$workdir/displayfd" || {
  echo "run.sh: the virtual X server did not start:" >&2
  cat "$workdir/xvfb.log" >&2
  exit 1
}
export DISPLAY=":$display_number"
export GDK_BACKEND=x11
unset WAYLAND_DISPLAY
echo "Virtual display $DISPLAY"

# The backend writes its output to the log under the real user's home; the
# page's first request to the backend leaves "page ready" there.
home=$(getent passwd "$(id -u)" | cut -d: -f6)
log="$home/.local/state/Tarvo Studio.log"
log_start=$(stat -c %s "$log" 2>/dev/null || echo 0)

# Own session, so Ctrl+C reaches only this script, which passes it on once.
setsid dbus-run-session -- "$app" &
app_group=$!

page_ready() {
  [ -f "$log" ] || return 1
  local size
  size=$(stat -c %s "$log")
  if [ "$size" -lt "$log_start" ]; then
    log_start=0 # rotated meanwhile
  fi
  tail -c "+$((log_start + 1))" "$log" | grep -q "page ready"
}

ready=no
for _ in $(seq 1 600); do
  if ! kill -0 "$app_group" 2>/dev/null; then
    echo "run.sh: Tarvo Studio ended during start-up; see $log" >&2
    exit 1
  fi
  if page_ready; then
    ready=yes
    break
  fi
  sleep 0.1
done
[ "$ready" = yes ] || echo "run.sh: no \"page ready\" in $log after 60 seconds" >&2
sleep 1 # let the page paint

shot="/tmp/tarvo-studio-$(date +%Y%m%d-%H%M%S).png"
if import -window root "$shot"; then
  echo "Screenshot: $shot"
else
  echo "run.sh: the screenshot failed" >&2
fi

echo "Tarvo Studio is running on $DISPLAY. Press Ctrl+C to quit."
while kill -0 "$app_group" 2>/dev/null; do
  sleep 0.5
done
echo "Tarvo Studio has ended."
