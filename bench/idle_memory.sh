#!/usr/bin/env bash
# Resident memory of the idle headless process, a couple of seconds after start.
set -euo pipefail
binary=${1:-build/brimwick}
scratch=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$scratch"' EXIT
HOME=$scratch XDG_CONFIG_HOME=$scratch/config "$binary" --headless >/dev/null 2>&1 &
pid=$!
sleep 2
rss=$(awk '/^VmRSS/ {print $2}' /proc/$pid/status)
echo "idle headless resident memory: $((rss / 1024)).$(( (rss % 1024) * 10 / 1024 )) MiB (${rss} kB)"
