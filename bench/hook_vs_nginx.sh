#!/usr/bin/env bash
# Brimwick's hook server and nginx (`return 204;`, one worker process, access log off) under the
# same load in the same run: requests/s, p50 and p99 with 1 and 32 concurrent clients, and the
# ratios, once with everything on one CPU and once on any CPU. The whole headless app (second
# argument; empty for none) is driven as well when a private network namespace is available.
# When run as root everything runs in a private network namespace: its own loopback, so the
# fixed hook port is free and no other traffic shares it.
set -euo pipefail
program=${1:-build/bench/hook_vs_nginx}
app=${2-build/brimwick}  # an empty argument: no whole app
rounds=${3:-20}

if ! command -v nginx >/dev/null; then
    echo "hook_vs_nginx: nginx is not installed (scripts/install-deps adds it); skipped"
    exit 0
fi
[ -x "$program" ] || { echo "hook_vs_nginx: $program is missing (build it first)" >&2; exit 1; }
program=$(realpath "$program")
if [ -x "$app" ]; then app=$(realpath "$app"); else app=; fi

if [ "${BRIMWICK_BENCH_NETNS:-}" != 1 ] && [ "$(id -u)" = 0 ] && unshare -n true 2>/dev/null; then
    exec env BRIMWICK_BENCH_NETNS=1 unshare -n sh -c 'ip link set lo up && exec "$@"' sh \
        "$0" "$program" "$app" "$rounds"
fi

scratch=$(mktemp -d)
trap 'kill ${nginx:-} ${pid:-} 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$scratch"' EXIT

# A free loopback port for nginx (any port will do in a private namespace).
port=
for candidate in $(shuf -i 20000-29999 -n 50); do
    if ! ss -Htln "sport = :$candidate" | grep -q .; then port=$candidate; break; fi
done
[ -n "$port" ] || { echo "hook_vs_nginx: no free port" >&2; exit 1; }

# As root nginx would hand its worker to "nobody"; keep it as the user running the benchmark.
user_line=
[ "$(id -u)" = 0 ] && user_line="user $(id -un) $(id -gn);"
cat >"$scratch/nginx.conf" <<CONF
$user_line
worker_processes 1;
daemon off;
pid $scratch/nginx.pid;
error_log $scratch/error.log warn;
events { worker_connections 1024; }
http {
    access_log off;
    client_body_temp_path $scratch/body;
    proxy_temp_path $scratch/proxy;
    fastcgi_temp_path $scratch/fastcgi;
    uwsgi_temp_path $scratch/uwsgi;
    scgi_temp_path $scratch/scgi;
    # Close after every answer, as the hook server does: each request is its own connection.
    keepalive_timeout 0;
    server {
        listen 127.0.0.1:$port;
        location = /hook {
            if (\$request_method != POST) { return 405; }
            return 204;
        }
    }
}
CONF
wait_for() {
    for _ in $(seq 50); do
        ss -Htln "sport = :$1" | grep -q . && return 0
        sleep 0.1
    done
    echo "hook_vs_nginx: nothing listens on port $1" >&2
    cat "$scratch/error.log" >&2 2>/dev/null || true
    exit 1
}

# One pass: every server and the load generator started under the same CPU placement.
pass() {
    local place=("$@")
    "${place[@]}" nginx -p "$scratch" -c "$scratch/nginx.conf" -e "$scratch/error.log" &
    nginx=$!
    local app_port=0
    if [ -n "$app" ] && [ "${BRIMWICK_BENCH_NETNS:-}" = 1 ]; then
        rm -rf "${scratch:?}/home" "${scratch:?}/config"
        mkdir -p "$scratch/home" "$scratch/config"
        HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config BRIMWICK_USAGE_URL=http://127.0.0.1:9/ \
            "${place[@]}" "$app" --headless --no-phone >/dev/null 2>&1 &
        pid=$!
        app_port=47821
    fi
    wait_for "$port"
    [ "$app_port" = 0 ] || wait_for "$app_port"
    "${place[@]}" "$program" "$port" "$app_port" "$rounds"
    kill $nginx ${pid:-} 2>/dev/null || true
    wait $nginx ${pid:-} 2>/dev/null || true
    nginx='' pid=''
}

echo "nginx $(nginx -v 2>&1 | sed 's/.*nginx\///'), worker_processes 1; $rounds rounds alternating the order"
# On one CPU the clients and the server take turns, so requests/s is what one request costs both
# sides together; across CPUs each wake-up may have to rouse an idle CPU first, which in a
# virtual machine can cost more than the request itself.
if command -v taskset >/dev/null; then
    echo "-- everything on one CPU (taskset -c 0)"
    pass taskset -c 0
fi
echo "-- any CPU ($(nproc) CPUs)"
pass env
