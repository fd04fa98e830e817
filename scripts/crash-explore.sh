#!/usr/bin/env bash
# Every power-cut state of every workload, none sampled: the update (with and without hard
# links), the pak tool's add, delete, rename and compact, and the library's directory flush,
# under the crash model of tests/support/crash_model.h. The test command samples the cuts with
# the most states; this tries them all (under ASan about seven minutes of processor time,
# nearly all of it the pak tool's working copies; twenty of wall time on two busy cores).
# Usage: scripts/crash-explore.sh [preset]   (asan by default)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-asan}
cmake --preset "$preset" >/dev/null
nice cmake --build --preset "$preset" --target tests_host tests_archive tests_app tests_tools
tests=build/$preset/tests
export VELMOR_CRASH_EXHAUSTIVE=1 VELMOR_CODEPAGE=950
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
status=0
for run in "tests_host CrashModel.*" "tests_app UpdatePowerCutTest.*" \
           "tests_tools ChangePowerCutTest.*" "tests_archive PakFlushPowerCutTest.*"; do
  set -- $run
  nice "$tests/$1" --gtest_filter="$2" --gtest_brief=1 || status=1
done
exit $status
