#!/usr/bin/env bash
# Soak: starts sqlsim with 16 instances whose sessions churn, runs the real main window
# (bench_soak, offscreen) polling all of them once a second for 10 minutes while the selected
# server and the shown tab move on, and prints its resident memory after the first minute and at
# the end; the run fails when the end is more than 10% above the first minute (growth per poll)
# or a server was not polled on nine seconds in ten.
#
#   bench/soak/run.sh [BUILD_DIR] [SECONDS] [SESSIONS] [CHURN_PERCENT]
#
# Defaults: ./build, 600 s, 500 sessions per instance, 10% of them replaced per poll. Everything
# listens on 127.0.0.1 and stops by itself; the settings file and error log go to a temporary
# folder.
set -euo pipefail

build=${1:-build}
seconds=${2:-600}
sessions=${3:-500}
churn=${4:-10}
servers=16
sqlsim="$build/sim/sqlsim"
soak="$build/bench/soak/bench_soak"
for f in "$sqlsim" "$soak"; do
    [[ -x $f ]] || { echo "missing $f (build the targets sqlsim and bench_soak)" >&2; exit 2; }
done
soak=$(readlink -f "$soak")

# shellcheck source=../sqlsim.sh
source "$(dirname "$0")/../sqlsim.sh"
start_sqlsim "$sqlsim" "$servers" 0 --sessions "$sessions" --churn "$churn"

echo "soak: $servers sqlsim instances of $sessions sessions, churn $churn% per poll, $seconds s"
status=0
(cd "$work" && KIVRA_REGISTRY_FILE="$work/settings.reg" QT_QPA_PLATFORM=offscreen \
    "$soak" --port "$base" --servers "$servers" --seconds "$seconds") || status=$?
if [[ -s $work/derizo.log ]]; then
    echo "error log (derizo.log):"
    cat "$work/derizo.log"
fi
exit "$status"
