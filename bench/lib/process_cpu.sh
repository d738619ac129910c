# CPU of several processes over the same stretch of time, for the desktop benchmarks. Sourced.
#
#   cpu_report LABEL SECONDS NAME=PID...
#
# prints one line: each process's share of one core over SECONDS, then their sum. A process that
# is gone by the end counts with what it had used when last seen.
ticks_per_second=$(getconf CLK_TCK)

cpu_ticks() {
    awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0
}

cpu_report() {
    local label=$1 seconds=$2
    shift 2
    local names=() pids=() before=() entry
    for entry in "$@"; do
        names+=("${entry%%=*}")
        pids+=("${entry#*=}")
    done
    local i
    for i in "${!pids[@]}"; do before[i]=$(cpu_ticks "${pids[i]}"); done
    sleep "$seconds"
    local line="" total=0 used after
    for i in "${!pids[@]}"; do
        after=$(cpu_ticks "${pids[i]}")
        [ "$after" -ge "${before[i]}" ] || after=${before[i]}
        used=$((after - before[i]))
        total=$((total + used))
        line+=$(awk -v u="$used" -v t="$ticks_per_second" -v s="$seconds" -v n="${names[i]}" \
            'BEGIN { printf "%s %.2f %%, ", n, 100 * u / t / s }')
    done
    awk -v u="$total" -v t="$ticks_per_second" -v s="$seconds" -v l="$label" -v line="$line" \
        'BEGIN { printf "%s: %stogether %.2f %% of a core over %d s\n", l, line, 100 * u / t / s, s }'
}

# The 1-minute load average, to print beside the figures: the machine is shared.
load_average() {
    cut -d' ' -f1 /proc/loadavg
}
