#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzz target for SECONDS (default 60) on a copy of its
# seed corpus (fuzz/corpus/<name>/, the tree is left as it is), printing one line per target:
# executions, executions per second of wall time and of the target's own processor time (the
# rate on a core of its own, on a machine others share), and the result.
# A crash, leak, timeout or memory blow-up fails the run, and so does any one allocation over
# 256 MiB (VELMOR_FUZZ_MALLOC_MB): no input may make the code ask for what a length in it
# merely claims. The input that did it is kept under build/fuzz/findings/<name>/
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]   (VELMOR_FUZZ_JOBS: targets run at once, 1;
#        VELMOR_FUZZ_RUNS=N: each target runs N inputs instead of SECONDS)
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
jobs=${VELMOR_FUZZ_JOBS:-1}
limit=(-max_total_time="$seconds")
[ -n "${VELMOR_FUZZ_RUNS:-}" ] && limit=(-runs="$VELMOR_FUZZ_RUNS")

cmake --preset fuzz >/dev/null || exit 1
cmake --build --preset fuzz -j2 >/dev/null || { cmake --build --preset fuzz -j1; exit 1; }

bin=build/fuzz/fuzz
work=$(mktemp -d "${TMPDIR:-/tmp}/velmor-fuzz-XXXXXX")
trap 'rm -rf "$work"' EXIT
if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for source in fuzz/*_fuzz.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

# A target's own flags. The settings reader's work grows with the square of its input (each
# include line reads a whole file again), so its inputs stay short enough to keep it quick.
target_flags() {
  case $1 in
    settings_fuzz) echo -max_len=768 ;;
  esac
}

# Runs one target; its line goes to $work/<target>.line, its log to $work/<target>.log.
run_one() {
  local target=$1 name=${1%_fuzz}
  local corpus=$work/$name findings=build/fuzz/findings/$name
  mkdir -p "$corpus" "$findings"
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$corpus/"
  local status=0 TIMEFORMAT='%U %S'
  { time ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
      UBSAN_OPTIONS=print_stacktrace=1 \
      "$bin/$target" $(target_flags "$target") "$corpus" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 \
      -malloc_limit_mb="${VELMOR_FUZZ_MALLOC_MB:-256}" \
      -print_final_stats=1 -artifact_prefix="$findings/" >"$work/$target.log" 2>&1; } \
    2>"$work/$target.time" || status=$?
  local execs rate cpu result=ok
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target.log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/$target.log" | tail -1)
  if [ "$status" != 0 ]; then
    result="FAILED ($(grep -m1 -oE 'ERROR: [A-Za-z]+: [^ ]+( [^ ]+)?|deadly signal|timeout|out-of-memory' "$work/$target.log" || echo "exit $status"))"
    tail -40 "$work/$target.log" >&2
  fi
  cpu=$(awk -v n="${execs:-0}" '{ t = $1 + $2; printf "%d", (t > 0 ? n / t : 0) }' \
    "$work/$target.time")
  printf '%-22s %12s execs %8s execs/s %8s execs/cpu-s  %s\n' "$target" "${execs:-0}" \
    "${rate:-0}" "${cpu:-0}" "$result" >"$work/$target.line"
  [ "$status" = 0 ]
}

failed=0
running=0
for target in "${targets[@]}"; do
  run_one "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
for target in "${targets[@]}"; do cat "$work/$target.line"; done
if [ "$failed" != 0 ]; then
  echo "fuzz: a target failed (inputs under build/fuzz/findings/)" >&2
  exit 1
fi
