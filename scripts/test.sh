#!/usr/bin/env bash
# Installs, builds and runs every test: once in a normal build, once with AddressSanitizer and
# UndefinedBehaviorSanitizer. Any sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

bash scripts/build.sh build
(cd build && xvfb-run -a ctest --output-on-failure -j2)

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
bash scripts/build.sh build-sanitize -DQUORVO_SANITIZE=ON
(cd build-sanitize && xvfb-run -a ctest --output-on-failure -j2)
