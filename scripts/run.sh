#!/usr/bin/env bash
# Sets up and builds, then installs the web demo through the installer's
# window: a small release is built by the maker-side mode from a master in the
# repository's test support, served with a one-server "serverlist9.txt" on
# 127.0.0.1 at a slow line's pace, and ventora_installer is pointed at it
# through its proxy preference. Its preferences, desktop and installs live
# under build/demo/home/, so nothing reaches your own preferences.
#   With a display: the installer opens there and you click through it.
#   Without one: the same runs under Xvfb, every page is clicked through in
#   English, French and German, and a picture of each page, and one sheet of
#   all pages per language, are saved under build/demo/screens/ (the paths are
#   printed).
# --headless runs the install without a window (build/ventora_demo) instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
mkdir -p build/demo
if [ "${1:-}" = "--headless" ]; then
  shift
  cd build/demo
  exec ../ventora_demo "$@"
fi
cd build
if [ -n "${DISPLAY:-}" ]; then
  exec ./ventora_gui_demo --work=demo --interactive --program="$PWD/ventora_installer"
fi
exec xvfb-run -a -s "-screen 0 1024x768x24" ./ventora_gui_demo --work=demo
