#!/usr/bin/env bash
# CPU used by the island over 30 s on a private X server with a compositor: once with one
# working session shown, once with the island empty. Runs the island_demo test program.
set -euo pipefail
demo=${1:-build/tests/island_demo}
seconds=${2:-30}
scratch=$(mktemp -d)
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1440x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb ${compositor:-} ${pid:-} 2>/dev/null || true; rm -rf "$scratch"' EXIT
sleep 1
DISPLAY=$display xcompmgr -n >/dev/null 2>&1 &
compositor=$!
ticks=$(getconf CLK_TCK)

measure() {
    local label=$1
    shift
    DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$scratch "$demo" "$@" >/dev/null 2>&1 &
    pid=$!
    sleep 3  # start-up and the ears' springs are not part of the measurement
    local before after
    before=$(awk '{print $14 + $15}' /proc/$pid/stat)
    sleep "$seconds"
    after=$(awk '{print $14 + $15}' /proc/$pid/stat)
    kill $pid
    wait $pid 2>/dev/null || true
    awk -v used=$((after - before)) -v ticks="$ticks" -v s="$seconds" -v label="$label" \
        'BEGIN { printf "%s: %.2f %% of a core over %d s\n", label, 100 * used / ticks / s, s }'
}

measure "one working session" --add working
measure "empty island" 
