#!/bin/bash
# Sets up whatever is missing, builds everything into build/ and runs the
# whole test suite under Wine. Extra arguments go to ctest (e.g. -R name).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"

bash "$ROOT/scripts/setup.sh"
bash "$ROOT/scripts/build.sh"

# Fresh prefixes for every run. A template is booted once and never run in;
# the build's shared prefix and every test's own prefix are copies of it.
export QV_WINEPREFIX="$BUILD/wineprefix"
TEMPLATE="$BUILD/wineprefix.template"
# The build's prefixes: the shared one, the template and the tests' own.
prefixes() {
  find "$BUILD" -mindepth 1 \( -name wineprefix -o -name '*.wineprefix' \
       -o -name wineprefix.template \) -type d -prune -print
}
stop_wine() {
  local prefix
  for prefix in $(prefixes); do
    QV_WINEPREFIX="$prefix" "$BUILD/wine_run.sh" --stop || true
  done
}
stop_wine
for prefix in $(prefixes); do
  rm -rf "$prefix" "$prefix".lock "$prefix".keepalive.pid "$prefix".server.pid \
         "$prefix".server.log \
         "$prefix".desktop.ready
done
trap stop_wine EXIT
# Booted here, outside CTest, so no test pays for it or sees its output; the
# template runs without the desktop keeper, and its server is gone (its
# registry saved) before anything is copied from it.
QV_WINEPREFIX="$TEMPLATE" QV_WINE_TEMPLATE= QV_WINE_KEEPALIVE=/nonexistent \
  "$BUILD/wine_run.sh" cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
QV_WINEPREFIX="$TEMPLATE" "$BUILD/wine_run.sh" --stop
"$BUILD/wine_run.sh" cmd /c exit 0 </dev/null >/dev/null 2>&1 || true

# Tests side by side: three for every four cores. Beyond that the kernel
# time of Wine's dump reads (a ptrace stop each) grows faster than the work
# done: 8 at once on 8 cores end no sooner and stretch the dump-heavy cases
# past a minute.
JOBS="$(( $(nproc) * 3 / 4 ))"
[ "$JOBS" -ge 1 ] || JOBS=1
# The pool of booted prefixes that tests with a prefix of their own take
# from (see testing/wine/wine_run.sh): one for each test CTest runs at once,
# booted side by side, and named to CTest as that many "prefixes".
POOL="$BUILD/prefix_pool"
POOL_RESOURCES="$BUILD/prefix_pool.json"
mkdir -p "$POOL"
slots=""
for ((i = 0; i < JOBS; i++)); do
  QV_WINEPREFIX="$POOL/$i.wineprefix" "$BUILD/wine_run.sh" cmd /c exit 0 \
    </dev/null >/dev/null 2>&1 &
  slots+="${slots:+,}{\"id\": \"$i\", \"slots\": 1}"
done
wait
printf '{"version": {"major": 1, "minor": 0}, "local": [{"prefixes": [%s]}]}\n' \
  "$slots" >"$POOL_RESOURCES"

cd "$BUILD"
ctest -j "$JOBS" --resource-spec-file "$POOL_RESOURCES" --output-on-failure \
  --timeout 600 "$@"
