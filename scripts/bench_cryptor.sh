#!/bin/bash
# Builds the cryptor benchmark optimised (into build-bench/, a Release build)
# and runs it under Wine. Prints one line:
#   bench row=cryptor input=<bytes> cryptor_mbps=<x> memcpy_mbps=<x>
# (medians of several runs over a 64 MiB buffer, millions of bytes per
# second). Assumes scripts/setup.sh has run.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QV_BENCH_BUILD:-$ROOT/build-bench}"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S "$ROOT" -B "$BUILD" "${generator[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$BUILD" --target cryptor_benchmark \
  -j "${CMAKE_BUILD_PARALLEL_LEVEL:-3}" >/dev/null
export QV_WINEPREFIX="${QV_WINEPREFIX:-$BUILD/wineprefix}"
"$BUILD/wine_run.sh" "$BUILD/bin/cryptor_benchmark.exe" </dev/null | tr -d '\r'
