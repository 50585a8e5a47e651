# Sourced by the benchmark scripts that run sqlsim: makes the temporary folder $work, removed at
# exit together with the sqlsim that start_sqlsim started, and defines start_sqlsim.
work=$(mktemp -d)
sim_pid=""
cleanup_sqlsim() {
    if [[ -n $sim_pid ]] && kill -0 "$sim_pid" 2>/dev/null; then
        kill -TERM "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup_sqlsim EXIT

# start_sqlsim SQLSIM SERVERS CONTROL [ARGS...]: runs SQLSIM with SERVERS instances on
# 127.0.0.1 and ARGS in the background and returns when every instance listens; sets base (the
# first instance's port) and sim_pid. CONTROL 1: the control port listens too, on base + SERVERS.
# Exits the script when sqlsim does not start.
start_sqlsim() {
    local sqlsim=$1 servers=$2 control=$3 attempt extra=()
    shift 3
    listening() {
        local open
        open=$(ss -ltnH "sport >= :$base and sport < :$((base + servers + control))" 2>/dev/null |
            grep -c 127.0.0.1 || true)
        [[ $open -ge $((servers + control)) ]]
    }
    # A base port with room for every instance; a port taken meanwhile makes sqlsim fail: try again.
    for attempt in 1 2 3 4 5; do
        base=$((20000 + (RANDOM % 400) * 100))
        if [[ $control == 1 ]]; then extra=(--control-port $((base + servers))); fi
        "$sqlsim" --port "$base" --instances "$servers" "${extra[@]}" "$@" >"$work/sqlsim.log" 2>&1 &
        sim_pid=$!
        for _ in $(seq 1 200); do
            listening && return 0
            kill -0 "$sim_pid" 2>/dev/null || break
            sleep 0.05
        done
        listening && return 0
        wait "$sim_pid" 2>/dev/null || true
        sim_pid=""
    done
    echo "sqlsim did not start:" >&2
    cat "$work/sqlsim.log" >&2
    exit 1
}
