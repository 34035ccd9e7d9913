#!/bin/bash
# Configures (once) and builds everything into build/; programs land in
# build/bin. Assumes scripts/setup.sh has run. This is the test build: its
# compiled-in service endpoints point at 127.0.0.1 (a product build
# configures with -DQV_TEST_ENDPOINTS=OFF, the default).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S "$ROOT" -B "$BUILD" "${generator[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-toolchain.cmake" \
    -DQV_TEST_ENDPOINTS=ON >/dev/null
else
  cmake "$BUILD" -DQV_TEST_ENDPOINTS=ON >/dev/null
fi
cmake --build "$BUILD" -j "$(nproc)"
