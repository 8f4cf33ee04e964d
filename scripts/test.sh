#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: once in a plain build
# and once built with AddressSanitizer and UndefinedBehaviorSanitizer.  The
# X11 tests start their own Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh build
(cd build && ctest --output-on-failure -j2)
bash scripts/build.sh build-san -DPV5_SANITIZE=ON
(cd build-san && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j2)
