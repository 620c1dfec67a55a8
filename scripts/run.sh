#!/usr/bin/env bash
# Sets up, builds and runs the installer's main job without a window: a small
# release is built by the maker-side mode, served on 127.0.0.1 and installed
# into build/demo/Ventora Demo/ (a second run updates it and downloads nothing).
# Options: --dest=<folder> (where to install), --work=<folder> (release build).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
mkdir -p build/demo
cd build/demo
exec ../ventora_demo "$@"
