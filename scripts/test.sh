#!/bin/bash
# Sets up whatever is missing, builds everything into build/ and runs the
# whole test suite under Wine. Extra arguments go to ctest (e.g. -R name).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"

bash "$ROOT/scripts/setup.sh"
bash "$ROOT/scripts/build.sh"

# A fresh prefix for every run; the wrapper boots it on first use.
export QV_WINEPREFIX="$BUILD/wineprefix"
stop_wine() { "$BUILD/wine_run.sh" --stop || true; }
stop_wine
rm -rf "$QV_WINEPREFIX" "$QV_WINEPREFIX.lock" "$QV_WINEPREFIX.keepalive.pid"
trap stop_wine EXIT
# Boot it here, outside CTest, so no test pays for it or sees its output.
"$BUILD/wine_run.sh" cmd /c exit 0 </dev/null >/dev/null 2>&1 || true

cd "$BUILD"
ctest -j "$(nproc)" --output-on-failure --timeout 600 "$@"
