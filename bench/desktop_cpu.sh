#!/usr/bin/env bash
# The whole desktop app on a private X server with a compositor (xcompmgr) and a tray host, as on
# a desktop: the CPU of the app, the X server, the compositor and the tray host over 60 s with no
# sessions and with one working session (the island's mascot and the tray icon animating), and
# the app's resident memory after start. It runs once with trayer (an XEmbed tray) and once with
# sni_host (a D-Bus StatusNotifierItem host on a private session bus), which also counts the icon
# images the app sends it. When run as root the app gets a private network namespace, so it never
# holds the real hook port that other runs may be using.
#
#   [WARMUP=SECONDS] bench/desktop_cpu.sh [BRIMWICK [SECONDS [SNI_HOST]]]
#
# WARMUP (seconds, 3 by default) is how long a run settles before it is measured: the island
# keeps a mascot's frames as it first shows them, which takes about 90 s of work.
set -euo pipefail
binary=${1:-build/brimwick}
seconds=${2:-60}
sni_host=${3:-build/bench/sni_host}
here=$(dirname "$0")
. "$here/lib/process_cpu.sh"
scratch=$(mktemp -d)
helpers=()
cleanup() {
    kill ${pid:-} "${helpers[@]}" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
mkdir -p "$scratch/home" "$scratch/config" "$scratch/runtime"
chmod 700 "$scratch/runtime"

isolate=()
if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null && unshare -n true 2>/dev/null; then
    isolate=(unshare -n sh -c 'ip link set lo up; exec "$@"' sh)
fi

# A fresh X server with a compositor and the given tray host ("trayer" or "sni").
open_desktop() {
    local n=90
    while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
    display=:$n
    Xvfb "$display" -screen 0 1440x900x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    helpers=($xvfb)
    sleep 1
    DISPLAY=$display xcompmgr -n >/dev/null 2>&1 &
    compositor=$!
    helpers+=($compositor)
    bus_env=()
    if [ "$1" = sni ]; then
        # The bus listens on a path, which the app reaches from its own network namespace.
        dbus-daemon --session --address="unix:path=$scratch/bus" --nofork --nopidfile \
            >/dev/null 2>&1 &
        bus=$!
        helpers+=($bus)
        sleep 0.5
        bus_env=(DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/bus")
        env "${bus_env[@]}" "$sni_host" "$scratch/tray-images" >/dev/null 2>&1 &
        tray=$!
        tray_name=sni_host
        helpers+=($tray)
    else
        DISPLAY=$display trayer --edge top --align right --widthtype request --height 24 \
            >/dev/null 2>&1 &
        tray=$!
        tray_name=trayer
        helpers+=($tray)
    fi
    sleep 1
}

close_desktop() {
    kill "${helpers[@]}" 2>/dev/null || true
    wait "${helpers[@]}" 2>/dev/null || true
    helpers=()
    rm -f "$scratch/bus" "$scratch/tray-images"
}

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
    env DISPLAY=$display HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config \
        XDG_RUNTIME_DIR=$scratch/runtime BRIMWICK_USAGE_URL=http://127.0.0.1:9/ \
        PIDFILE=$scratch/pid "${bus_env[@]}" "${isolate[@]}" sh -c "$script" sh "$binary" \
        >/dev/null 2>&1 &
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
    pid=
}

tray_images() {
    awk '{print $2, $4}' "$scratch/tray-images" 2>/dev/null || echo "0 0"
}

measure() {
    local host=$1 label=$2 session=${3:-}
    open_desktop "$host"
    start "$session"
    sleep "${WARMUP:-3}"  # start-up and the launch intro are not part of the measurement
    if [ "$host" = trayer ] && [ -z "$session" ]; then
        local rss
        rss=$(awk '/^VmRSS/ {print $2}' /proc/$pid/status)
        echo "desktop resident memory after start: $((rss / 1024)).$(( (rss % 1024) * 10 / 1024 )) MiB (${rss} kB)"
    fi
    local load images_before
    load=$(load_average)
    images_before=$(tray_images)
    local processes=(app=$pid Xvfb=$xvfb xcompmgr=$compositor $tray_name=$tray)
    [ "$host" = sni ] && processes+=(dbus-daemon=$bus)
    cpu_report "desktop, $tray_name, $label (load $load)" "$seconds" "${processes[@]}"
    if [ "$host" = sni ]; then
        read -r images bytes <<<"$(tray_images)"
        read -r images0 bytes0 <<<"$images_before"
        awk -v n=$((images - images0)) -v b=$((bytes - bytes0)) -v s="$seconds" \
            'BEGIN { printf "  tray images sent: %.1f per second, %.1f KiB/s of pixels\n", n / s, b / s / 1024 }'
    fi
    stop
    close_desktop
}

measure trayer "no sessions"
measure trayer "one working session" working
measure sni "no sessions"
measure sni "one working session" working
