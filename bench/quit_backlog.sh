#!/usr/bin/env bash
# SIGTERM to exit of the headless app with tens of thousands of hook events queued on its main
# thread (build/bench/quit_backlog). The fixed hook port needs a private network namespace, so
# it runs only as root, where `unshare -n` gives one.
set -euo pipefail
program=${1:-build/bench/quit_backlog}
[ -x "$program" ] || { echo "quit_backlog: $program is missing (build it first)" >&2; exit 1; }
if [ "$(id -u)" != 0 ] || ! unshare -n true 2>/dev/null; then
    echo "quit_backlog: needs a private network namespace (run as root); skipped"
    exit 0
fi
exec unshare -n sh -c 'ip link set lo up && exec "$@"' sh "$(realpath "$program")" "${@:2}"
