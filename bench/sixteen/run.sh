#!/usr/bin/env bash
# Sixteen servers: starts sqlsim with 16 instances of 1,000 sessions on loopback, runs the
# headless monitor (bench_sixteen) under GNU time for 60 s of one poll a second, stops sqlsim and
# prints the monitor's CPU time per second and its peak memory.
#
#   bench/sixteen/run.sh [BUILD_DIR] [SECONDS] [SESSIONS] [SERVERS]
#
# BUILD_DIR defaults to ./build. Everything listens on 127.0.0.1 and stops by itself.
set -euo pipefail

build=${1:-build}
seconds=${2:-60}
sessions=${3:-1000}
servers=${4:-16}
sqlsim="$build/sim/sqlsim"
monitor="$build/bench/sixteen/bench_sixteen"
for f in "$sqlsim" "$monitor" /usr/bin/time; do
    [[ -x $f ]] || { echo "missing $f (build the targets sqlsim and bench_sixteen)" >&2; exit 2; }
done

work=$(mktemp -d)
sim_pid=""
cleanup() {
    if [[ -n $sim_pid ]] && kill -0 "$sim_pid" 2>/dev/null; then
        kill -TERM "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

listening() {  # every instance's port is listening
    local open
    open=$(ss -ltnH "sport >= :$1 and sport < :$(($1 + servers))" 2>/dev/null | grep -c 127.0.0.1 || true)
    [[ $open -ge $servers ]]
}

# A base port with room for every instance; a port taken meanwhile makes sqlsim fail: try again.
for attempt in 1 2 3 4 5; do
    base=$((20000 + (RANDOM % 400) * 100))
    "$sqlsim" --port "$base" --instances "$servers" --sessions "$sessions" >"$work/sqlsim.log" 2>&1 &
    sim_pid=$!
    for _ in $(seq 1 200); do
        listening "$base" && break
        kill -0 "$sim_pid" 2>/dev/null || break
        sleep 0.05
    done
    listening "$base" && break
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
done
[[ -n $sim_pid ]] || { echo "sqlsim did not start:" >&2; cat "$work/sqlsim.log" >&2; exit 1; }

status=0
/usr/bin/time -v -o "$work/time.txt" "$monitor" --port "$base" --servers "$servers" \
    --seconds "$seconds" --interval 1 >"$work/monitor.txt" 2>&1 || status=$?
cat "$work/monitor.txt"

field() { grep -F "$1" "$work/time.txt" | sed 's/.*: //'; }
user=$(field "User time (seconds)")
sys=$(field "System time (seconds)")
rss_kb=$(field "Maximum resident set size (kbytes)")
wall=$(field "Elapsed (wall clock) time")
awk -v u="$user" -v s="$sys" -v n="$seconds" -v kb="$rss_kb" -v w="$wall" -v k="$servers" -v m="$sessions" 'BEGIN {
    printf "%d servers of %d sessions, %d s at one poll a second (wall %s)\n", k, m, n, w
    printf "monitor CPU: user %.2f s + system %.2f s = %.3f s per second = %.1f%% of one core\n", u, s, (u + s) / n, 100 * (u + s) / n
    printf "monitor peak memory (max RSS): %.1f MB\n", kb / 1024
}'
exit "$status"
