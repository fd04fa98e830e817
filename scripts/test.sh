#!/usr/bin/env bash
# The test command: installs what is missing, builds under AddressSanitizer and UBSan and runs
# every unit test with CTest; then cross-builds the Windows product, runs its unit tests under
# Wine, and runs the real updater end to end under Wine on a virtual display. Where the machine
# cannot run i386 programs (or with VELMOR_WINE=64) the Windows tests run on the win64 build
# under Wine's 64-bit loader; one line says which way they go.
# VELMOR_SKIP_WINDOWS=1 runs the native tests alone.
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
# The native run last, so its summary closes the output.
ctest --preset asan
