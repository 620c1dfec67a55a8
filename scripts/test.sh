#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: a normal build, then an
# AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)
# The benchmarks are built too (not run), so that they keep up with the code.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVENTORA_BENCH=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && xvfb-run -a -s "-screen 0 1024x768x24" ctest --output-on-failure -j"$jobs")
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVENTORA_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
# intercept_tls_get_addr=0 (also built into every program): without it the
# leak check at exit can crash on a TLS block of the GL driver; see
# tools/sanitizer_options.h.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:intercept_tls_get_addr=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Leaks that system libraries keep (SDL's D-Bus block); never our own code.
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
(cd build-asan && xvfb-run -a -s "-screen 0 1024x768x24" ctest --output-on-failure -j"$jobs")
# The queue, pool and thread-layer tests once more under ThreadSanitizer.
bash scripts/test_thread_tsan.sh
