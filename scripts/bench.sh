#!/bin/bash
# Builds the benchmark programs (optimised, in build-bench/) and runs them
# under Wine in the build's own prefix. Each section prints its table and
# ends with one "bench row=..." line per row, for scripts to read.
#
#   bash scripts/bench.sh [SECTION...]     (default: every section)
#
# A further benchmark is one more section: a section_<name> function below
# and its name in SECTIONS.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QV_BENCH_BUILD:-$ROOT/build-bench}"
DEPS_PREFIX="${QV_DEPS_PREFIX:-/opt/quillavera-deps/v1}"
TRIPLE=x86_64-w64-mingw32
SECTIONS=(deflate cryptor)

log() { echo "[bench] $*" >&2; }

# libdeflate is only a benchmark peer: built from its Debian source package
# into the dependency prefix the first time a benchmark needs it.
build_libdeflate() {
  local stamp="$DEPS_PREFIX/.built-libdeflate"
  [ -f "$stamp" ] && return 0
  log "building libdeflate for mingw"
  local work="$DEPS_PREFIX/src/libdeflate" src
  rm -rf "$work" && mkdir -p "$work/obj"
  (cd "$work" && apt-get source -qq libdeflate >/dev/null 2>&1) \
    || { echo "apt-get source libdeflate failed" >&2; return 1; }
  src="$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libdeflate-*' | head -1)"
  # Its Debian 12 version builds with a plain Makefile for the host; the
  # library is a handful of C files, compiled here directly.
  local f
  for f in "$src"/lib/*.c "$src"/lib/x86/*.c; do
    $TRIPLE-gcc-posix -O2 -I"$src" -c "$f" -o "$work/obj/$(basename "$f" .c).o"
  done
  mkdir -p "$DEPS_PREFIX/lib" "$DEPS_PREFIX/include"
  rm -f "$DEPS_PREFIX/lib/libdeflate.a"
  $TRIPLE-ar rcs "$DEPS_PREFIX/lib/libdeflate.a" "$work"/obj/*.o
  cp "$src/libdeflate.h" "$DEPS_PREFIX/include/libdeflate.h"
  touch "$stamp"
}

build_targets() {
  local generator=()
  command -v ninja >/dev/null && generator=(-G Ninja)
  cmake -S "$ROOT" -B "$BUILD" "${generator[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQV_BENCHMARKS=ON >"$BUILD/build.log" 2>&1 \
    && cmake --build "$BUILD" --target wine_keepalive "$@" >>"$BUILD/build.log" 2>&1 \
    || { tail -30 "$BUILD/build.log" >&2; return 1; }
}

# --- deflate: our compressor against zlib-8 and libdeflate-8 ---------------
section_deflate() {
  build_libdeflate
  build_targets deflate_benchmark crash_server_host crash_test_client
  local corpus="$BUILD/deflate_corpus"
  if [ ! -f "$corpus/.complete" ]; then
    log "making the corpus in $corpus"
    rm -rf "$corpus"
    QV_WINE_RUN="$BUILD/wine_run.sh" QV_BIN_DIR="$BUILD/bin" \
      python3 "$ROOT/scripts/bench_corpus.py" "$corpus"
    touch "$corpus/.complete"
  fi
  echo "== deflate: ours vs zlib level 8 (raw, memLevel 8) vs libdeflate level 8, medians of 5 alternating rounds"
  # Wall-clock figures on a shared machine: the load says how far to trust them.
  echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
  "$BUILD/wine_run.sh" "$BUILD/bin/deflate_benchmark.exe" "Z:${corpus//\//\\}" 5 \
    | tr -d '\r'
  echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
}

# --- cryptor: the log cryptor's speed beside memcpy's on a 64 MiB buffer ----
section_cryptor() {
  build_targets cryptor_benchmark
  echo "== cryptor: product key, 64 MiB buffer, medians"
  "$BUILD/wine_run.sh" "$BUILD/bin/cryptor_benchmark.exe" </dev/null | tr -d '\r'
}

main() {
  bash "$ROOT/scripts/setup.sh" >&2
  mkdir -p "$BUILD"
  export QV_WINEPREFIX="$BUILD/wineprefix"
  trap '"$BUILD/wine_run.sh" --stop >/dev/null 2>&1 || true' EXIT
  local sections=("$@")
  [ ${#sections[@]} -eq 0 ] && sections=("${SECTIONS[@]}")
  for section in "${sections[@]}"; do
    "section_$section"
  done
}

main "$@"
