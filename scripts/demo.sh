#!/usr/bin/env bash
# The program against four simulated SQL Server instances, for a first look without a SQL Server
# of your own: installs what is missing, builds, starts sqlsim with four instances (the second
# with a chain of blocked sessions, the third slow to answer at times, the browser responder on
# so the logon dialog's "..." lists them), seeds a settings file of the demo's own with the four
# instances as known servers with saved logons (double-click one in "All Connections"), runs
# kivrawatch, and stops sqlsim when the program ends (close the window, or Ctrl-C here).
#
# Environment: BUILD_DIR (build/), KIVRA_DEMO_PORT (14330: the first instance's TDS port, the
# others follow), KIVRA_DEMO_CONTROL_PORT (14399), KIVRA_DEMO_BROWSER_PORT (1434).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<'TEXT'
demo: there is no display (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window cannot be
shown. Without one, run the demo under a virtual X server (scripts/install.sh installs it):

    xvfb-run -a -s "-screen 0 1400x1000x24" bash scripts/demo.sh

or let Qt serve the window over VNC and look at it with any VNC viewer on port 5900:

    QT_QPA_PLATFORM=vnc:size=1400x1000 bash scripts/demo.sh
TEXT
  exit 1
fi

BUILD_DIR=${BUILD_DIR:-build}
PORT=${KIVRA_DEMO_PORT:-14330}
CONTROL=${KIVRA_DEMO_CONTROL_PORT:-14399}
BROWSER=${KIVRA_DEMO_BROWSER_PORT:-1434}
LOGIN=sa
PASSWORD=Kivra-Test-1

bash scripts/build.sh

DEMO_DIR="$BUILD_DIR/demo"
mkdir -p "$DEMO_DIR"
SETTINGS="$DEMO_DIR/settings.reg"
SIM_LOG="$DEMO_DIR/sqlsim.log"

# ---- sqlsim ---------------------------------------------------------------------------------
"$BUILD_DIR/sim/sqlsim" --port "$PORT" --instances 4 --control-port "$CONTROL" \
  --browser --browser-port "$BROWSER" --sessions 60 >"$SIM_LOG" 2>&1 &
SIM_PID=$!
TOGGLER_PID=""
cleanup() {
  if [ -n "$TOGGLER_PID" ]; then kill "$TOGGLER_PID" 2>/dev/null || true; fi
  if kill -0 "$SIM_PID" 2>/dev/null; then
    kill -TERM "$SIM_PID" 2>/dev/null || true
    wait "$SIM_PID" 2>/dev/null || true
  fi
}
trap cleanup EXIT

# One or more control commands, each answered with one line.
control() {
  exec 3<>"/dev/tcp/127.0.0.1/$CONTROL" || return 1
  local command answer
  for command in "$@"; do
    printf '%s\n' "$command" >&3
    IFS= read -r -t 5 answer <&3 || answer="(no answer)"
    case "$answer" in OK*) ;; *) echo "demo: sqlsim: $command: $answer" >&2 ;; esac
  done
  exec 3>&-
}

for _ in $(seq 1 100); do
  if ! kill -0 "$SIM_PID" 2>/dev/null; then
    echo "demo: sqlsim did not start:" >&2
    cat "$SIM_LOG" >&2
    exit 1
  fi
  if (exec 3<>"/dev/tcp/127.0.0.1/$CONTROL") 2>/dev/null; then break; fi
  sleep 0.1
done

# The second instance: a chain of blocked sessions ("Locks").
control "instance 1" "block start 4"
# The third instance: every 20 seconds, 10 seconds of slow answers (the response-time graph).
(
  nap=""
  trap 'kill "$nap" 2>/dev/null; exit 0' TERM
  pause() { sleep "$1" & nap=$!; wait "$nap"; }
  while true; do
    pause 10; control "instance 2" "delay 1200" 2>/dev/null || exit 0
    pause 10; control "instance 2" "delay 0" 2>/dev/null || exit 0
  done
) &
TOGGLER_PID=$!

# ---- The program's own settings: the four instances known, with saved logons ----------------
hex() { printf '%s' "$1" | od -An -tx1 -v | tr -s ' \n' ' ' | sed 's/^ //; s/ $//; s/ /,/g'; }
{
  printf 'Windows Registry Editor Version 5.00\n\n'
  printf '[HKEY_CURRENT_USER\\SOFTWARE\\Vornix\\Kivrawatch]\n"RefreshInterval"=dword:00000001\n'
  printf '"InitialPanel"=dword:00000000\n\n'
  printf '[HKEY_CURRENT_USER\\Software\\Vornix\\Servers]\n"Default Server"="127.0.0.1,%s"\n\n' "$PORT"
  printf '[HKEY_CURRENT_USER\\Software\\Vornix\\Servers\\List Of Servers]\n'
  for i in 0 1 2 3; do printf '"127.0.0.1,%s"=""\n' $((PORT + i)); done
  for i in 0 1 2 3; do
    printf '\n[HKEY_CURRENT_USER\\Software\\Vornix\\Servers\\127.0.0.1,%s]\n' $((PORT + i))
    printf '"UseWindowsNT"=dword:00000000\n"UserID"="%s"\n"Password"=hex:%s\n' "$LOGIN" "$(hex "$PASSWORD")"
  done
} >"$SETTINGS"

cat <<TEXT
demo: sqlsim runs four instances on 127.0.0.1 ports $PORT-$((PORT + 3)) (control port $CONTROL):
  127.0.0.1,$PORT        an ordinary server
  127.0.0.1,$((PORT + 1))        a chain of blocked sessions (tab "Locks")
  127.0.0.1,$((PORT + 2))        slow answers every other 10 seconds
  127.0.0.1,$((PORT + 3))        an ordinary server
Double-click a server in "All Connections" to connect (login $LOGIN is saved), or use Connect;
the logon dialog's "..." lists the instances as 127.0.0.1\\SQLSIM1..4. Settings: $SETTINGS.
Close the window (or press Ctrl-C here) to end; sqlsim stops with it.
TEXT

status=0
KIVRA_REGISTRY_FILE="$SETTINGS" KIVRA_BROWSE_HOSTS="127.0.0.1:$BROWSER" \
  "$BUILD_DIR/ui/kivrawatch" || status=$?
exit "$status"
