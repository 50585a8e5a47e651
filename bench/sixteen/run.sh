#!/usr/bin/env bash
# Sixteen servers: starts sqlsim with SERVERS instances of SESSIONS sessions on loopback and
# runs the headless monitor (bench_sixteen) under GNU time for SECONDS s of one poll a second.
# Around it, SECONDS / 4 s each before and after, in mirrored order, the bare-fetch floors
# (bench_sixteen_bare: the same fetches of the process query by a minimal ODBC program, with the
# layer's driver keywords): texts as UTF-8 (the driver converts the server's Unicode texts) and
# as UTF-16 (as they come over the wire). A floor is SERVERS times the mean CPU time of one
# fetch per second: what fetching the data alone costs at one poll a second. Prints the
# monitor's CPU time per second beside each floor, their ratios, the monitor's peak memory and
# the load average at the start and at the end.
#
#   bench/sixteen/run.sh [BUILD_DIR] [SECONDS] [SESSIONS] [SERVERS]
#
# BUILD_DIR defaults to ./build, SECONDS to 60, SESSIONS to 1000, SERVERS to 16. Everything
# listens on 127.0.0.1 and stops by itself.
set -euo pipefail

build=${1:-build}
seconds=${2:-60}
sessions=${3:-1000}
servers=${4:-16}
sqlsim="$build/sim/sqlsim"
monitor="$build/bench/sixteen/bench_sixteen"
bare="$build/bench/sixteen/bench_sixteen_bare"
for f in "$sqlsim" "$monitor" "$bare" /usr/bin/time; do
    [[ -x $f ]] || { echo "missing $f (build the targets sqlsim, bench_sixteen and bench_sixteen_bare)" >&2; exit 2; }
done
quarter=$(((seconds + 3) / 4))

# shellcheck source=../sqlsim.sh
source "$(dirname "$0")/../sqlsim.sh"

load_start=$(cut -d' ' -f1-3 /proc/loadavg)
start_sqlsim "$sqlsim" "$servers" 0 --sessions "$sessions"

status=0
run_timed() {  # NAME SECONDS PROGRAM [ARGS]: PROGRAM under GNU time, its output and figures kept by NAME
    local name=$1 secs=$2 program=$3
    shift 3
    /usr/bin/time -v -o "$work/$name.time" "$program" --port "$base" --servers "$servers" \
        --seconds "$secs" --interval 1 "$@" >"$work/$name.out" 2>&1 || status=$?
    cat "$work/$name.out"
}
per_fetch() { sed -n 's/.*cpu per fetch \([0-9.]*\) ms.*/\1/p' "$work/$1.out"; }
run_timed utf8a "$quarter" "$bare" --wide 0
run_timed utf16a "$quarter" "$bare" --wide 1
run_timed monitor "$seconds" "$monitor"
run_timed utf16b "$quarter" "$bare" --wide 1
run_timed utf8b "$quarter" "$bare" --wide 0
load_end=$(cut -d' ' -f1-3 /proc/loadavg)

field() { grep -F "$2" "$work/$1.time" | sed 's/.*: //'; }
awk -v u="$(field monitor "User time (seconds)")" -v s="$(field monitor "System time (seconds)")" \
    -v n="$seconds" -v kb="$(field monitor "Maximum resident set size (kbytes)")" \
    -v w="$(field monitor "Elapsed (wall clock) time")" -v k="$servers" -v m="$sessions" \
    -v a1="$(per_fetch utf8a)" -v a2="$(per_fetch utf8b)" \
    -v b1="$(per_fetch utf16a)" -v b2="$(per_fetch utf16b)" \
    -v l0="$load_start" -v l1="$load_end" 'BEGIN {
    mon = (u + s) / n
    f8 = k * (a1 + a2) / 2000
    f16 = k * (b1 + b2) / 2000
    printf "%d servers of %d sessions, %d s at one poll a second (wall %s)\n", k, m, n, w
    printf "load average at the start %s, at the end %s\n", l0, l1
    printf "monitor CPU: user %.2f s + system %.2f s = %.3f s per second = %.1f%% of one core\n", u, s, mon, 100 * mon
    printf "bare-fetch floor, texts as UTF-8:  %.1f%% of one core (%d x %.2f ms of CPU per fetch); monitor / floor %.2f\n", 100 * f8, k, (a1 + a2) / 2, mon / f8
    printf "bare-fetch floor, texts as UTF-16: %.1f%% of one core (%d x %.2f ms of CPU per fetch); monitor / floor %.2f\n", 100 * f16, k, (b1 + b2) / 2, mon / f16
    printf "monitor peak memory (max RSS): %.1f MB\n", kb / 1024
}'
exit "$status"
