#!/usr/bin/env bash
# Runs the queue, pool and thread-layer tests, and the engine's worker tasks
# and installs, under ThreadSanitizer in a build of its own (part of
# scripts/test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DVENTORA_TSAN=ON >/dev/null
cmake --build build-tsan -j"$jobs" --target test_thread_queue test_thread_pool test_thread_layer \
	test_grab_tasks test_grab_install
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp"
(cd build-tsan && ctest --output-on-failure -j"$jobs" \
	-R '^(Thread(Queue|CriticalSection|Lower|Pool|Layer|Record)|TasksTest|InstallTest)\.')
