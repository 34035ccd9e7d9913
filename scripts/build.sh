#!/bin/bash
# Configures (once) and builds everything into build/; programs land in
# build/bin. Assumes scripts/setup.sh has run.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S "$ROOT" -B "$BUILD" "${generator[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-toolchain.cmake" >/dev/null
else
  cmake "$BUILD" >/dev/null
fi
cmake --build "$BUILD" -j "$(nproc)"
