#!/usr/bin/env bash
# The test command: installs what is missing, builds under AddressSanitizer and UBSan, and runs
# every unit test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh native
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan
