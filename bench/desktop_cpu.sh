#!/usr/bin/env bash
# The whole desktop app on a private X server with a tray host (trayer): CPU over 30 s with no
# sessions and with one working session animating the tray icon, and resident memory after
# start. When run as root the app gets a private network namespace, so it never holds the real
# hook port that other runs may be using.
set -euo pipefail
binary=${1:-build/brimwick}
seconds=${2:-30}
scratch=$(mktemp -d)
n=90
while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
display=:$n
Xvfb "$display" -screen 0 1440x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill ${pid:-} ${tray:-} $xvfb 2>/dev/null || true; rm -rf "$scratch"' EXIT
sleep 1
DISPLAY=$display trayer --edge top --align right --widthtype request --height 24 \
    >/dev/null 2>&1 &
tray=$!
sleep 1
mkdir -p "$scratch/home" "$scratch/config" "$scratch/runtime"
chmod 700 "$scratch/runtime"
ticks=$(getconf CLK_TCK)

isolate=()
if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null && unshare -n true 2>/dev/null; then
    isolate=(unshare -n sh -c 'ip link set lo up; exec "$@"' sh)
fi

# Starts the app; with "working", also posts the two hook events that make one working session
# (from inside the app's own network namespace).
start() {
    rm -f "$scratch/pid"
    local script='"$@" & app=$!; echo $app > "$PIDFILE"; '
    if [ "${1:-}" = working ]; then
        local url=http://127.0.0.1:47821/hook
        local prompt='{"hook_event_name":"UserPromptSubmit","session_id":"b1","cwd":"/src/bench"}'
        local tool='{"hook_event_name":"PreToolUse","session_id":"b1","cwd":"/src/bench","tool_name":"Bash"}'
        script+="for i in \$(seq 50); do curl -s -m 1 -o /dev/null -H \"Content-Type: application/json\" -d '$prompt' $url && break; sleep 0.1; done; "
        script+="curl -s -m 1 -o /dev/null -H \"Content-Type: application/json\" -d '$tool' $url; "
    fi
    script+='wait $app'
    DISPLAY=$display HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config \
        XDG_RUNTIME_DIR=$scratch/runtime BRIMWICK_USAGE_URL=http://127.0.0.1:9/ \
        PIDFILE=$scratch/pid "${isolate[@]}" sh -c "$script" sh "$binary" >/dev/null 2>&1 &
    shell=$!
    for _ in $(seq 50); do
        [ -s "$scratch/pid" ] && break
        sleep 0.1
    done
    pid=$(cat "$scratch/pid" 2>/dev/null || true)
    [ -n "$pid" ] || { echo "brimwick did not start" >&2; exit 1; }
}

stop() {
    kill "$pid" 2>/dev/null || true
    wait "$shell" 2>/dev/null || true
}

measure() {
    local label=$1
    start "${2:-}"
    sleep 3  # start-up and the launch intro are not part of the measurement
    if [ -z "${2:-}" ]; then
        local rss
        rss=$(awk '/^VmRSS/ {print $2}' /proc/$pid/status)
        echo "desktop resident memory after start: $((rss / 1024)).$(( (rss % 1024) * 10 / 1024 )) MiB (${rss} kB)"
    fi
    local before after
    before=$(awk '{print $14 + $15}' /proc/$pid/stat)
    sleep "$seconds"
    after=$(awk '{print $14 + $15}' /proc/$pid/stat)
    stop
    awk -v used=$((after - before)) -v ticks="$ticks" -v s="$seconds" -v label="$label" \
        'BEGIN { printf "desktop app, %s: %.2f %% of a core over %d s\n", label, 100 * used / ticks / s, s }'
}

measure "no sessions"
measure "one working session" working
