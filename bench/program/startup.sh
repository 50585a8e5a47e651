#!/usr/bin/env bash
# Start-up: runs the real kivrawatch (offscreen) RUNS times with a settings file that holds
# SERVERS known servers with saved logons, and as many times, in turns, with one that holds none,
# and times each run from its start to the program's own "main window shown" (category
# "kivrawatch.program", logged from the event loop's first turn after the window was shown); then
# closes it with SIGTERM. Prints minimum, median and maximum of both and the load average.
#
#   bench/program/startup.sh [BUILD_DIR] [RUNS] [SERVERS]
#
# Defaults: ./build, 21 runs, 100 servers. No server is contacted; the settings go to a temporary
# folder.
set -euo pipefail

build=${1:-build}
runs=${2:-21}
servers=${3:-100}
here=$(cd "$(dirname "$0")" && pwd)
program="$build/ui/kivrawatch"
[[ -x $program ]] || { echo "missing $program (build the target kivrawatch)" >&2; exit 2; }
program=$(readlink -f "$program")
# shellcheck source=settings.sh
source "$here/settings.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
write_settings "$work/known.reg" 14330 "$servers" 4
write_settings "$work/none.reg" 14330 0 4
mkfifo "$work/log"

# One start: prints the milliseconds from the start to the shown window.
time_start() {
    local settings=$1 start line pid shown=""
    start=$EPOCHREALTIME
    KIVRA_REGISTRY_FILE="$settings" QT_QPA_PLATFORM=offscreen \
        QT_LOGGING_RULES="kivrawatch.program.info=true" "$program" >/dev/null 2>"$work/log" &
    pid=$!
    exec 4<"$work/log"
    while IFS= read -r -t 30 line <&4; do
        if [[ $line == *"main window shown"* ]]; then shown=$EPOCHREALTIME; break; fi
    done
    kill -TERM "$pid" 2>/dev/null || true
    cat <&4 >/dev/null
    exec 4<&-
    wait "$pid" || { echo "kivrawatch ended with status $?" >&2; return 1; }
    [[ -n $shown ]] || { echo "kivrawatch did not show its window" >&2; return 1; }
    awk -v a="$start" -v b="$shown" 'BEGIN { printf "%.1f\n", (b - a) * 1000 }'
}

summary() {  # NAME FILE
    sort -n "$2" | awk -v name="$1" '{ v[NR] = $1 } END {
        printf "%s: median %.1f ms, min %.1f ms, max %.1f ms (%d runs)\n", name, v[int((NR + 1) / 2)], v[1], v[NR], NR }'
}

load_start=$(cut -d' ' -f1-3 /proc/loadavg)
time_start "$work/known.reg" >/dev/null  # warm-up: libraries and fonts into the page cache
: >"$work/known.ms"
: >"$work/none.ms"
for ((i = 0; i < runs; ++i)); do
    time_start "$work/known.reg" >>"$work/known.ms"
    time_start "$work/none.reg" >>"$work/none.ms"
done
load_end=$(cut -d' ' -f1-3 /proc/loadavg)
summary "start-up to the shown main window, $servers known servers" "$work/known.ms"
summary "start-up to the shown main window, no known server" "$work/none.ms"
echo "load average at the start $load_start, at the end $load_end"
