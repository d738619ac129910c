#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS (default 120), then adds
# the new inputs that reach further to its committed corpus in fuzz/corpus/<name>/ (capped).
# Usage: fuzz/run.sh [target ...]   (names as in fuzz/corpus/, default all)
# Environment: FUZZ_SECONDS, FUZZ_BUILD_DIR (default build-fuzz), FUZZ_JOBS (parallel fuzzers).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-120}
build=${FUZZ_BUILD_DIR:-build-fuzz}
jobs=${FUZZ_JOBS:-1}
max_files=200        # per target
max_bytes=$((192 * 1024))

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

run_one() {
  local name=$1
  local binary=$build/fuzz_$name corpus=fuzz/corpus/$name work=$build/work/$name
  # Long enough for texts that nest past the JSON bound, which the decoders must refuse.
  local max_len=16384
  rm -rf "$work" "$work.min" && mkdir -p "$work" "$work.min" "$build/artifacts"
  echo "== $name: ${seconds}s"
  local status=0
  # New inputs land in the work folder; the committed corpus is only read.
  "$binary" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
    "$work" "$corpus" >"$build/$name.log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|stat::new_units_added)|^==[0-9]+==ERROR|^SUMMARY|Broken' \
    "$build/$name.log" | sed "s/^/   $name: /" || true
  if [ $status -ne 0 ]; then
    echo "   $name: FOUND A FAULT (exit $status); input in $build/artifacts/, log $build/$name.log"
    return 1
  fi
  # New inputs join the committed corpus only when they reach edges it does not (edges, not hit
  # counts, so it stays small), smallest first, while it stays within its caps. What is there
  # stays, so a run adds a few files rather than reshuffling them all.
  rm -rf "$work.min" && cp -r "$corpus" "$work.min"
  "$binary" -merge=1 -use_counters=0 -max_len="$max_len" -timeout=10 "$work.min" "$work" \
    >"$build/$name.merge.log" 2>&1
  local kept bytes size file added=0
  kept=$(find "$corpus" -type f | wc -l)
  bytes=$(du -sb "$corpus" | cut -f1)
  while read -r size file; do
    [ -e "$corpus/$(basename "$file")" ] && continue
    [ "$kept" -ge $max_files ] && break
    [ $((bytes + size)) -gt $max_bytes ] && break
    cp "$file" "$corpus/"
    kept=$((kept + 1))
    bytes=$((bytes + size))
    added=$((added + 1))
  done < <(find "$work.min" -type f -printf '%s %p\n' | sort -n)
  echo "   $name: $added new inputs kept"
  echo "   $name: corpus $(find "$corpus" -type f | wc -l) files, $(du -sb "$corpus" | cut -f1) bytes"
}

failed=0
if [ "$jobs" -le 1 ]; then
  for name in "${targets[@]}"; do run_one "$name" || failed=1; done
else
  pids=()
  for name in "${targets[@]}"; do
    run_one "$name" &
    pids+=($!)
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do sleep 1; done
  done
  for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
fi
exit $failed
