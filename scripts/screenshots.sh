#!/usr/bin/env bash
# The README's pictures, taken from the real program against the demo: builds, starts a virtual X
# server of its own, runs scripts/demo.sh on it (sqlsim with four instances, the demo's settings),
# connects the four servers by double-clicks in "All Connections", lets them poll for a while so
# the graphs have a history, and writes
#   docs/screenshot-small-graphs.png    the main window with the small graphs of the four servers
#   docs/screenshot-all-processes.png   "All Processes" of the blocked-chain server, one session
#                                       selected and its detail pane filled
# Not part of the test run. Needs the packages of scripts/install.sh ("screenshots for the
# README"), which scripts/build.sh installs.
#
# Environment: BUILD_DIR (build/), KIVRA_SCREENSHOTS_DIR (docs/), KIVRA_SCREENSHOTS_PORT (15430:
# the first instance's TDS port; control and browser ports follow it, clear of the demo's own),
# KIVRA_SCREENSHOTS_HISTORY (100: seconds of polls before the first picture).
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build}
OUT=${KIVRA_SCREENSHOTS_DIR:-docs}
PORT=${KIVRA_SCREENSHOTS_PORT:-15430}
CONTROL=$((PORT + 69))
BROWSER=$((PORT + 70))
HISTORY=${KIVRA_SCREENSHOTS_HISTORY:-100}
WORK=$(mktemp -d /tmp/kivra-screenshots.XXXXXX)

bash scripts/build.sh

XVFB_PID=""
DEMO_PID=""
PROGRAM_PID=""
cleanup() {
  # The program first: demo.sh then stops sqlsim on its own.
  if [ -n "$PROGRAM_PID" ]; then kill -TERM "$PROGRAM_PID" 2>/dev/null || true; fi
  if [ -n "$DEMO_PID" ]; then
    for _ in $(seq 1 100); do kill -0 "$DEMO_PID" 2>/dev/null || break; sleep 0.1; done
    kill -TERM "$DEMO_PID" 2>/dev/null || true
    wait "$DEMO_PID" 2>/dev/null || true
  fi
  if [ -n "$XVFB_PID" ]; then kill -TERM "$XVFB_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
  echo "screenshots: $*" >&2
  if [ -f "$WORK/demo.log" ]; then tail -n 20 "$WORK/demo.log" >&2; fi
  exit 1
}

# ---- A virtual X server; it tells its display number once it accepts clients --------------
Xvfb -displayfd 5 -screen 0 1400x1000x24 -nolisten tcp 5>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 1 100); do
  [ -s "$WORK/display" ] && break
  kill -0 "$XVFB_PID" 2>/dev/null || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
  sleep 0.1
done
[ -s "$WORK/display" ] || fail "Xvfb gave no display number"
export DISPLAY=":$(head -n 1 "$WORK/display")"

# ---- The demo on it; the program's window appears once sqlsim is up -------------------------
KIVRA_DEMO_PORT=$PORT KIVRA_DEMO_CONTROL_PORT=$CONTROL KIVRA_DEMO_BROWSER_PORT=$BROWSER \
  BUILD_DIR=$BUILD_DIR bash scripts/demo.sh >"$WORK/demo.log" 2>&1 &
DEMO_PID=$!
WINDOW=$(timeout 120 xdotool search --sync --onlyvisible --name '^Kivrawatch$' | head -n 1) ||
  fail "no main window within two minutes"
PROGRAM_PID=$(xdotool getwindowpid "$WINDOW")
HEIGHT=$(xdotool getwindowgeometry --shell "$WINDOW" | sed -n 's/^HEIGHT=//p')

# The number of clients sqlsim's instance has (the program's poll connection among them).
clients() {
  local answer
  exec 4<>"/dev/tcp/127.0.0.1/$CONTROL" || return 1
  printf 'instance %s\nstatus\n' "$1" >&4
  IFS= read -r -t 5 answer <&4 && IFS= read -r -t 5 answer <&4
  exec 4>&-
  sed -n 's/.* clients \([0-9]*\) .*/\1/p' <<<"$answer"
}

# Waits until the window's picture has changed count times (each poll repaints its clock and
# values), at most ten seconds a change; fails when it has not.
changes() {
  local count=$1 last now seen=0 tries=0
  last=$(xwd -id "$WINDOW" -silent | md5sum)
  while [ "$seen" -lt "$count" ] && [ "$tries" -lt $((count * 50)) ]; do
    sleep 0.2
    tries=$((tries + 1))
    now=$(xwd -id "$WINDOW" -silent | md5sum)
    if [ "$now" != "$last" ]; then seen=$((seen + 1)); last=$now; fi
  done
  [ "$seen" -ge "$count" ]
}

# Waits until the window repaints at every poll again (up to two minutes): a picture is taken
# only from a window that answers.
answering() {
  local attempt
  for attempt in 1 2 3 4 5 6; do
    if changes "$1"; then return 0; fi
    echo "screenshots: the window has not repainted for a while; waiting (attempt $attempt)" >&2
  done
  fail "the window stopped repainting"
}

click() { xdotool mousemove --window "$WINDOW" "$1" "$2" click "${3:-1}"; }

shoot() {
  xwd -id "$WINDOW" -silent | xwdtopnm 2>/dev/null | pnmtopng >"$OUT/$1"
  echo "screenshots: $OUT/$1"
}

mkdir -p "$OUT"

# ---- Connect the four: "All Connections" (lower left), 13 px a row, the saved logons ---------
for i in 0 1 2 3; do
  xdotool mousemove --window "$WINDOW" 48 $((586 + 13 * i)) click --repeat 2 --delay 60 1
  for _ in $(seq 1 300); do
    n=$(clients "$i" || true)
    [ "${n:-0}" -ge 1 ] && break
    sleep 0.1
  done
  [ "${n:-0}" -ge 1 ] || fail "127.0.0.1,$((PORT + i)) was not connected within 30 s"
done

# ---- The small graphs, once the servers have polled for a while (the graphs' history) -------
for _ in $(seq 1 "$HISTORY"); do
  kill -0 "$PROGRAM_PID" 2>/dev/null || fail "the program has ended"
  sleep 1
done
answering 2
shoot screenshot-small-graphs.png

# ---- "All Processes" of the second server (the blocked chain), a user session selected --------
# Each click is made on a window that has just repainted, so none is lost to a busy moment.
click 55 82                          # "Active Connections": 127.0.0.1,PORT+1
answering 2
click 687 $((HEIGHT - 13))           # the tab "All Processes"
answering 2
click 300 536                        # a row below the system sessions
answering 3
shoot screenshot-all-processes.png
