#!/usr/bin/env bash
# What one hook costs Claude Code: the exact command text `brimwick hooks install` writes for
# PreToolUse (and the eight other events that share it), run by sh -c with a 1 KiB PreToolUse
# payload on standard input, many times; once with the headless app listening and once with
# nothing listening. Prints wall time (mean, median) and CPU (user + system) per run, and the
# app's own CPU per hook. When run as root everything runs in a private network namespace, so
# the fixed hook port is free whatever else runs on the machine.
set -euo pipefail
app=${1:-build/brimwick}
runs=${2:-500}
[ -x "$app" ] || { echo "hook_curl_cost: $app is missing (build it first)" >&2; exit 1; }
app=$(realpath "$app")
for tool in jq curl; do
    command -v $tool >/dev/null || { echo "hook_curl_cost: $tool is not installed; skipped"; exit 0; }
done

if [ "${BRIMWICK_BENCH_NETNS:-}" != 1 ] && [ "$(id -u)" = 0 ] && unshare -n true 2>/dev/null; then
    exec env BRIMWICK_BENCH_NETNS=1 unshare -n sh -c 'ip link set lo up && exec "$@"' sh \
        "$0" "$app" "$runs"
fi
if ss -Htln 'sport = :47821' | grep -q .; then
    echo "hook_curl_cost: port 47821 is taken (a running Brimwick?) and no private network" \
        "namespace is available (run as root); skipped"
    exit 0
fi

scratch=$(mktemp -d)
trap 'kill ${pid:-} 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/config"
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config BRIMWICK_USAGE_URL=http://127.0.0.1:9/

# The command text exactly as installed into Claude Code's settings.
"$app" hooks install >/dev/null
command_text=$(jq -r '.hooks.PreToolUse[].hooks[].command | select(contains("127.0.0.1:47821"))' \
    "$HOME/.claude/settings.json")
[ -n "$command_text" ] || { echo "hook_curl_cost: no installed PreToolUse command" >&2; exit 1; }

# A PreToolUse payload padded with JSON white space to 1 KiB.
payload='{"session_id":"0b9f3c1e-7d2a-4e58-9a61-2f4c8d0e5b17","transcript_path":"/home/user/.claude/projects/-home-user-src-weather/0b9f3c1e-7d2a-4e58-9a61-2f4c8d0e5b17.jsonl","cwd":"/home/user/src/weather","permission_mode":"default","hook_event_name":"PreToolUse","tool_name":"Bash","tool_input":{"command":"make build && ./build/weather --city Lisbon --units metric","description":"Build the project and run the weather tool for Lisbon"},"tool_use_id":"toolu_01AbCdEfGhIjKlMnOpQrStUv"'
printf '%s%*s}' "$payload" $((1023 - ${#payload})) '' >"$scratch/payload.json"

# Claude Code runs the text with sh -c and writes the payload to its standard input; here the
# shell reads it from a file (one open and dup2 more than a pipe).
script="exec <'$scratch/payload.json'; $command_text"
echo "command: sh -c '$command_text' <payload ($(wc -c <"$scratch/payload.json") bytes)"

ticks=$(getconf CLK_TCK)
rounds=10
# hyperfine when installed (BENCH_NO_HYPERFINE=1 tries the plain loop instead).
hyperfine=$(command -v hyperfine || true)
[ "${BENCH_NO_HYPERFINE:-}" = 1 ] && hyperfine=
per_round=$(((runs + rounds - 1) / rounds))
: >"$scratch/times-listening"; : >"$scratch/times-nothing"
: >"$scratch/cpu-listening"; : >"$scratch/cpu-nothing"

# One block of runs; appends each run's wall time (s) to times-$1 and the block's CPU per run
# (s) to cpu-$1.
block() {
    local label=$1
    if [ -n "$hyperfine" ]; then
        # -N: hyperfine starts sh itself and subtracts nothing; sh's start-up is part of the cost.
        local quoted=${script//\'/\'\\\'\'}
        if ! hyperfine -N --style none --warmup 5 --runs "$per_round" \
            --export-json "$scratch/result.json" "sh -c '$quoted'" >"$scratch/hyperfine.log" 2>&1; then
            cat "$scratch/hyperfine.log" >&2
            exit 1
        fi
        jq -r '.results[0].times[]' "$scratch/result.json" >>"$scratch/times-$label"
        jq -r '.results[0] | .user + .system' "$scratch/result.json" >>"$scratch/cpu-$label"
    else
        # No hyperfine: a timed loop; CPU from this shell's waited-for children.
        for _ in 1 2 3 4 5; do sh -c "$script"; done
        local before start
        before=$(awk '{print $16 + $17}' /proc/$$/stat)
        for _ in $(seq "$per_round"); do
            start=$EPOCHREALTIME
            sh -c "$script"
            echo "$EPOCHREALTIME $start" >>"$scratch/times-$label"
        done
        awk -v before="$before" -v ticks="$ticks" -v n="$per_round" \
            '{ print ($16 + $17 - before) / ticks / n }' /proc/$$/stat >>"$scratch/cpu-$label"
    fi
}

app_ticks=0
listening() {
    "$app" --headless --no-phone >"$scratch/app.log" 2>&1 &
    pid=$!
    for _ in $(seq 50); do
        ss -Htln 'sport = :47821' | grep -q . && break
        sleep 0.1
    done
    ss -Htln 'sport = :47821' | grep -q . || { echo "hook_curl_cost: brimwick did not listen" >&2; exit 1; }
    sleep 0.5  # start-up is not part of the measurement
    local before
    before=$(awk '{print $14 + $15}' /proc/$pid/stat)
    block listening
    app_ticks=$((app_ticks + $(awk '{print $14 + $15}' /proc/$pid/stat) - before))
    kill $pid
    wait $pid 2>/dev/null || true
    pid=
}

# Rounds alternate which case goes first, so the machine's other work falls on both alike.
for round in $(seq $rounds); do
    if [ $((round % 2)) = 1 ]; then listening; block nothing; else block nothing; listening; fi
done

how=hyperfine
[ -n "$hyperfine" ] || how="shell loop"
summary() {
    local label=$1
    # The shell loop writes "end start" pairs, hyperfine durations.
    awk '{ print NF == 2 ? $1 - $2 : $1 }' "$scratch/times-$label" | sort -g >"$scratch/sorted"
    awk -v label="$2" -v how="$how" -v rounds=$rounds \
        -v cpu="$(awk '{ s += $1 } END { print s / NR }' "$scratch/cpu-$label")" '
        { t[NR] = $1; sum += $1 }
        END {
            mean = sum / NR
            median = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
            printf "%s: wall mean %.3f ms, median %.3f ms, p90 %.3f ms; CPU user+sys %.3f ms per run (%d runs in %d rounds, %s)\n",
                label, 1e3 * mean, 1e3 * median, 1e3 * t[int(0.9 * NR)], 1e3 * cpu, NR, rounds, how
        }' "$scratch/sorted"
}
summary listening "brimwick listening"
summary nothing "nothing listening"
awk -v used=$app_ticks -v ticks="$ticks" -v n=$((rounds * (per_round + 5))) 'BEGIN {
    printf "brimwick listening: the app'\''s own CPU %.3f ms per hook\n", 1000 * used / ticks / n }'
