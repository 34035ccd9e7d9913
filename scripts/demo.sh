#!/bin/bash
# A demonstration run: sets up and builds whatever is missing, then, under
# Wine in a throw-away prefix, lets the client application stand-in start
# the crash reporter, register with it and crash for real, and tells what
# the reporter did about it: its log, the dump written and removed, the
# analysis text, the debugger line and how the reporter ended.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"

bash "$ROOT/scripts/setup.sh"
echo "== Building (into $BUILD)"
bash "$ROOT/scripts/build.sh" >/dev/null

DEMO="$(mktemp -d /tmp/quillavera-demo.XXXXXX)"
export QV_WINEPREFIX="$DEMO/wineprefix"
# Shows the debugger output (OutputDebugStringW) on standard error.
export WINEDEBUG="-all,warn+seh"
WINE_RUN="$BUILD/wine_run.sh"
BIN="$BUILD/bin"
win_path() { echo "Z:${1//\//\\}"; }
json_field() { sed -n "s/.*\"$1\": \\([^,}]*\\).*/\\1/p" | head -1 | tr -d '"'; }

PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  "$BUILD/wine_run.sh" --stop || true
  rm -rf "$DEMO"
}
trap cleanup EXIT
# A step that did not happen as expected ends the run: say where.
trap 'echo "demo: stopped at line $LINENO: the step above did not happen as expected" >&2' ERR

echo "== Booting a throw-away Wine prefix"
"$WINE_RUN" cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
DATA="$(echo "$QV_WINEPREFIX"/drive_c/users/*/AppData/Local)/Kestrix/QuillaVera"
DUMPS="$DATA/dumps"

# The reporter removes the analysis text right after the analysis; a second
# name for the same file keeps what the stack walker wrote, to show it.
mkdir -p "$DUMPS"
: >"$DUMPS/dump_analyse_result.txt"
ln "$DUMPS/dump_analyse_result.txt" "$DEMO/analysis.txt"

echo "== The client application starts the crash reporter and registers"
mkfifo "$DEMO/commands"
"$WINE_RUN" "$BIN/client_application.exe" \
  "--start-reporter=$(win_path "$BIN/quillavera_crash_reporter.exe")" \
  <"$DEMO/commands" >"$DEMO/client.out" 2>"$DEMO/client.err" &
PIDS+=($!)
exec 3>"$DEMO/commands"
for _ in $(seq 1 600); do
  grep -q '"registered"' "$DEMO/client.out" && break
  sleep 0.1
done
REPORTER_PID="$(grep '"reporter"' "$DEMO/client.out" | json_field pid)"
CLIENT_PID="$(grep '"registered"' "$DEMO/client.out" | json_field pid)"
echo "    reporter (Windows pid $REPORTER_PID) is up; client (pid $CLIENT_PID) registered"
"$WINE_RUN" "$BIN/client_application.exe" "--watch-process=$REPORTER_PID" \
  </dev/null >"$DEMO/reporter.exit" 2>/dev/null &
PIDS+=($!)

# Notes every dump that appears while the crash is handled.
( while :; do ls "$DUMPS" 2>/dev/null | grep '\.dmp$' >>"$DEMO/dumps.seen" || true
    sleep 0.05; done ) &
PIDS+=($!)

echo "== The client crashes (an access violation on its main thread)"
echo crash >&3
for _ in $(seq 1 1200); do
  grep -q process_exit "$DEMO/reporter.exit" && break
  sleep 0.1
done
exec 3>&-
sleep 0.5

echo "== What the reporter did"
echo "Its log, quillavera.elog in the data folder (the client writes there too),"
echo "encrypted record by record; decrypted here by the test tree's own decryptor:"
python3 "$ROOT/testing/qzcrypto_tools/qzcrypto_format.py" decrypt "$DATA/quillavera.elog" |
  sed 's/^\[[^]]*:\([A-Z_]*\):\([^]]*\)\] /    \1 \2: /'
DUMP="$(sort -u "$DEMO/dumps.seen" | head -1)"
if [ -n "$DUMP" ]; then
  if [ -e "$DUMPS/$DUMP" ]; then state="still there"; else state="removed after the analysis"; fi
  echo "Dump written: dumps\\$DUMP ($state)"
fi
echo "Analysis text from the stack walker (dumps\\dump_analyse_result.txt, removed too):"
tr -d '\r' <"$DEMO/analysis.txt" |
  awk '/Crash reason|Crash address/ { print } /\(crashed\)/ { print; getline; print }' |
  sed 's/^/    /'
echo "Debugger output:"
grep -o 'Client requested dump:[^"]*' "$DEMO/client.err" | head -1 |
  sed 's/\\r\\n/ | /; s/^/    /'
WAIT="$(grep '"crash_dump"' "$DEMO/client.out" | json_field wait_result)"
if [ "$WAIT" = "0" ]; then
  echo "The crashed client was released."
else
  echo "The crashed client was not released (its wait ended with $WAIT: the reporter had gone)."
fi
echo "The reporter exited with code $(json_field code <"$DEMO/reporter.exit")."
