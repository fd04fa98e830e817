#!/usr/bin/env bash
# The test command: installs what is missing, builds under AddressSanitizer and UBSan and runs
# every unit test with CTest; then cross-builds the Windows product, runs its unit tests under
# Wine, and runs the real updater end to end under Wine on a virtual display. Where the machine
# cannot run i386 programs (or with VELMOR_WINE=64) the Windows tests run on the win64 build
# under Wine's 64-bit loader; one line says which way they go. Every fuzz target then runs
# briefly on its seed corpus (VELMOR_FUZZ_SECONDS each, 20 by default; two at a time): a
# crash, leak or timeout fails the run.
# VELMOR_SKIP_WINDOWS=1 runs the native tests alone; VELMOR_FUZZ_SECONDS=0 skips the fuzzing.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh native
cmake --preset asan >/dev/null
cmake --build --preset asan
if [ "${VELMOR_SKIP_WINDOWS:-0}" != 1 ]; then
  bash scripts/install-deps.sh windows
  source scripts/wine-select.sh
  wine_select
  bash scripts/test-windows-e2e.sh
  bash scripts/test-windows.sh
fi
if [ "${VELMOR_FUZZ_SECONDS:-20}" != 0 ]; then
  VELMOR_FUZZ_JOBS=${VELMOR_FUZZ_JOBS:-2} bash scripts/fuzz.sh "${VELMOR_FUZZ_SECONDS:-20}"
fi
# The native run last, so its summary closes the output.
ctest --preset asan
