#!/usr/bin/env bash
# CPU used by the island on a private X server with a compositor, over 60 s: once with one
# working session shown, once with the island empty. Reports the island (the island_demo test
# program), the X server and the compositor, which draw every frame the island sends. Then the
# same for repaint_floor, the toolkit repainting a corner of that size 60 times a second with
# nothing else to do: the floor under the island's figure.
#
#   [WARMUP=SECONDS] bench/island_cpu.sh [ISLAND_DEMO [SECONDS [REPAINT_FLOOR]]]
#
# WARMUP (seconds, 3 by default) is how long a run settles before it is measured: the island
# keeps a mascot's frames as it first shows them, which takes about 90 s of work.
set -euo pipefail
demo=${1:-build/tests/island_demo}
seconds=${2:-60}
floor=${3:-build/bench/repaint_floor}
here=$(dirname "$0")
. "$here/lib/process_cpu.sh"
scratch=$(mktemp -d)
n=90
while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
display=:$n
Xvfb "$display" -screen 0 1440x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb ${compositor:-} ${pid:-} 2>/dev/null || true; rm -rf "$scratch"' EXIT
sleep 1
DISPLAY=$display xcompmgr -n >/dev/null 2>&1 &
compositor=$!

measure() {
    local label=$1 program=$2
    local name=$(basename "$program")
    shift 2
    DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$scratch "$program" "$@" >/dev/null 2>&1 &
    pid=$!
    sleep "${WARMUP:-3}"  # start-up and the ears' springs are not part of the measurement
    cpu_report "island, $label (load $(load_average))" "$seconds" \
        "$name=$pid" Xvfb=$xvfb xcompmgr=$compositor
    kill $pid
    wait $pid 2>/dev/null || true
    pid=
}

measure "one working session" "$demo" --add working
measure "empty island" "$demo"
if [ -x "$floor" ]; then
    measure "toolkit floor, a 25 x 23 corner repainted 60 times a second" "$floor" 60
fi
