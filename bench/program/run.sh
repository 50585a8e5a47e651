#!/usr/bin/env bash
# The whole program: starts sqlsim with 16 instances of SESSIONS sessions (2% of them replaced at
# every poll) on loopback, the first instance with SELECTED sessions, seeds a settings file with
# the 16 instances as known servers with saved logons and "All Processes" as the tab shown at
# start, and runs the real main window (bench_program, offscreen) under GNU time: it connects to
# every known server as a double-click in "All Connections" does, selects the first, and after a
# warm-up of 5 s watches SECONDS s of polling once a second. Prints the program's CPU time as a
# share of one core and its peak memory over that window, the main thread's busy stretches and
# the input latency (bench/program/ProgramHarness.cpp), GNU time's figures for the whole process
# (connecting included) and the load average at the start and at the end.
#
#   bench/program/run.sh [BUILD_DIR] [SECONDS] [SESSIONS] [SELECTED]
#
# Defaults: ./build, 60 s, 1000 sessions, SELECTED = SESSIONS. Everything listens on 127.0.0.1
# and stops by itself; the settings file and the error log go to a temporary folder.
set -euo pipefail

build=${1:-build}
seconds=${2:-60}
sessions=${3:-1000}
selected=${4:-$sessions}
servers=16
here=$(cd "$(dirname "$0")" && pwd)
sqlsim="$build/sim/sqlsim"
program="$build/bench/program/bench_program"
for f in "$sqlsim" "$program" /usr/bin/time; do
    [[ -x $f ]] || { echo "missing $f (build the targets sqlsim and bench_program)" >&2; exit 2; }
done
program=$(readlink -f "$program")
# shellcheck source=settings.sh
source "$here/settings.sh"
# shellcheck source=../sqlsim.sh
source "$here/../sqlsim.sh"

# One or more control commands, each answered with one line starting OK.
control() {
    local command answer status=0
    exec 3<>"/dev/tcp/127.0.0.1/$((base + servers))"
    for command in "$@"; do
        printf '%s\n' "$command" >&3
        IFS= read -r -t 10 answer <&3 || answer="(no answer)"
        case "$answer" in OK*) ;; *) echo "sqlsim: $command: $answer" >&2; status=1 ;; esac
    done
    exec 3>&-
    return "$status"
}

load_start=$(cut -d' ' -f1-3 /proc/loadavg)
start_sqlsim "$sqlsim" "$servers" 1 --sessions "$sessions"
if [[ $selected != "$sessions" ]]; then control "instance 0" "sessions $selected"; fi

write_settings "$work/settings.reg" "$base" "$servers" 4
echo "program: $servers sqlsim instances of $sessions sessions (the selected one $selected)," \
    "churn 2% per poll, $seconds s"
status=0
(cd "$work" && KIVRA_REGISTRY_FILE="$work/settings.reg" QT_QPA_PLATFORM=offscreen \
    /usr/bin/time -v -o "$work/program.time" "$program" --seconds "$seconds") || status=$?
load_end=$(cut -d' ' -f1-3 /proc/loadavg)
field() { grep -F "$1" "$work/program.time" | sed 's/.*: //'; }
echo "whole process (GNU time): user $(field "User time (seconds)") s, system" \
    "$(field "System time (seconds)") s, wall $(field "Elapsed (wall clock) time")," \
    "max RSS $(($(field "Maximum resident set size (kbytes)") / 1024)) MB"
echo "load average at the start $load_start, at the end $load_end"
if [[ -s $work/derizo.log ]]; then
    echo "error log (derizo.log):"
    cat "$work/derizo.log"
fi
exit "$status"
