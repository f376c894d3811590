#!/usr/bin/env bash
# Installs what is needed, builds everything for 32-bit Windows and runs the tests under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default

prefix=$root/build/wineprefix
stop_wineserver() { WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; }
trap stop_wineserver EXIT
ctest --preset default "$@"
