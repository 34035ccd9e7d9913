#!/bin/bash
# A demonstration run: sets up and builds whatever is missing, starts the
# crash reporter under Wine in a throw-away prefix, shows where its log and
# dumps go, lets a test client register over the crash pipe, shows that a
# second copy leaves at once, and stops the reporter again.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"

bash "$ROOT/scripts/setup.sh"
bash "$ROOT/scripts/build.sh" >/dev/null

DEMO="$(mktemp -d /tmp/quillavera-demo.XXXXXX)"
export QV_WINEPREFIX="$DEMO/wineprefix"
WINE_RUN="$BUILD/wine_run.sh"
BIN="$BUILD/bin"
win_path() { echo "Z:${1//\//\\}"; }

cleanup() {
  WINEPREFIX="$QV_WINEPREFIX" wineserver -k 2>/dev/null || true
  rm -rf "$DEMO"
}
trap cleanup EXIT

# A copy of its own, so that its log beside the program is this run's.
cp "$BIN/quillavera_crash_reporter.exe" "$DEMO/"
REPORTER="$(win_path "$DEMO/quillavera_crash_reporter.exe")"
PIPE='\\.\pipe\QuillaveraCrashServices\Server'

echo "== Booting a throw-away Wine prefix in $QV_WINEPREFIX"
"$WINE_RUN" cmd /c exit 0 </dev/null >/dev/null 2>&1 || true

echo "== Starting the crash reporter"
"$WINE_RUN" "$BIN/launcher.exe" "$REPORTER" </dev/null >"$DEMO/first.out" 2>&1 &
FIRST=$!
for _ in $(seq 1 300); do
  grep -q "crash server start" "$DEMO/debug.log" 2>/dev/null && break
  sleep 0.1
done
echo "Its log, $DEMO/debug.log (the log-file set-up of a later step moves it):"
sed 's/^/    /' "$DEMO/debug.log"
echo "Its dumps folder:"
ls -d "$QV_WINEPREFIX"/drive_c/users/*/AppData/Local/Kestrix/QuillaVera/dumps | sed 's/^/    /'

echo "== A client registers over $PIPE"
REGISTERED="$("$WINE_RUN" "$BIN/crash_test_client.exe" "$PIPE" register </dev/null)"
echo "    $REGISTERED"
SERVER_PID="$(echo "$REGISTERED" | sed -n 's/.*"server_pid": \([0-9]*\).*/\1/p')"

echo "== A second copy leaves at once (the pipe is taken)"
"$WINE_RUN" "$BIN/launcher.exe" "$REPORTER" </dev/null | sed 's/^/    /'

echo "== Stopping the reporter (WM_QUIT to its message loop)"
"$WINE_RUN" "$BIN/post_quit.exe" "$SERVER_PID" </dev/null >/dev/null
wait "$FIRST" || true
sed 's/^/    /' "$DEMO/first.out"
echo "Done."
