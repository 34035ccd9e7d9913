#!/bin/bash
# A demonstration run: sets up and builds whatever is missing, then, under
# Wine in a throw-away prefix, lets the client application stand-in start
# the crash reporter, register with it and crash for real, and tells what
# the reporter did about it: its log, the dump written and removed, the
# analysis text, the crash data archive's upload, the BI log post, the
# debugger line and how the reporter ended.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export ROOT
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

echo "== The client leaves its report parameters and cookie; the fake services listen"
# The token service, the LBS endpoints and the storage servers in one fake.
python3 "$ROOT/testing/jov_services/fake_jov_services.py" \
  --objects "$DEMO/stored.txt" --lifetime 900 >"$DEMO/jov.port" &
JOV_PID=$!
PIDS+=($JOV_PID)
for _ in $(seq 1 100); do grep -q port "$DEMO/jov.port" && break; sleep 0.1; done
export QV_TEST_LBS_PORT="$(awk '{print $2}' "$DEMO/jov.port")"
cat >"$DUMPS/appParam" <<JSON
{"appChannel": "stable", "appVersion": "3.2.1", "appPlatform": "win64",
 "buildVersion": "3201", "patchVersion": "7", "host": "127.0.0.1:$QV_TEST_LBS_PORT",
 "model": "XPS 13", "brand": "Dell", "osVersion": "10.0.19045",
 "startTime": "2026-12-10T09:00:00", "GPU": "Iris Xe"}
JSON
printf 'uid=42; token=demo&session=9' >"$DEMO/cookie"
python3 "$ROOT/testing/qzcrypto_tools/qzcrypto_format.py" encrypt "$DEMO/cookie" \
  "$DUMPS/cookie_json"
python3 "$ROOT/testing/fake_feedback_server/fake_feedback_server.py" \
  --record "$DEMO/feedback.jsonl" --lifetime 900 >"$DEMO/feedback.port" &
PIDS+=($!)
for _ in $(seq 1 100); do grep -q port "$DEMO/feedback.port" && break; sleep 0.1; done
export QV_TEST_FEEDBACK_PORT="$(awk '{print $2}' "$DEMO/feedback.port")"
echo "    appParam and cookie_json in the dumps folder; object storage on 127.0.0.1:$QV_TEST_LBS_PORT, feedback service on 127.0.0.1:$QV_TEST_FEEDBACK_PORT"

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
ARCHIVE="$(ls "$DUMPS" | grep '^crash_data_.*\.zip$' | head -1 || true)"
if [ -n "$ARCHIVE" ]; then
  echo "Crash data archive $ARCHIVE: not uploaded, kept in the dumps folder; it holds:"
  python3 -c 'import sys, zipfile; print("    " + ", ".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$DUMPS/$ARCHIVE"
fi
kill "$JOV_PID" 2>/dev/null || true
for _ in $(seq 1 100); do [ -s "$DEMO/stored.txt" ] && break; sleep 0.1; done
if [ -s "$DEMO/stored.txt" ]; then
  echo "Crash data archive uploaded (and deleted locally); the fake object store holds (key, bytes, SHA-256):"
  sed 's/^/    /' "$DEMO/stored.txt"
fi
echo "Debugger output:"
grep -o 'Client requested dump:[^"]*' "$DEMO/client.err" | head -1 |
  sed 's/\\r\\n/ | /; s/^/    /'
echo "BI log posted to the feedback service (the multipart body read with Python's email, BI.zip with zipfile):"
python3 - "$DEMO/feedback.jsonl" "$DATA" <<'PY'
import email.parser, email.policy, io, json, os, sys, zipfile
sys.path.insert(0, os.path.join(os.environ["ROOT"], "testing", "fake_feedback_server"))
import fake_feedback_server as fake
posts = fake.read_records(sys.argv[1]) if os.path.exists(sys.argv[1]) else []
for post in posts:
    headers = dict(post["headers"])
    message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
        b"Content-Type: " + headers["Content-Type"].encode() + b"\r\n\r\n" + post["body"])
    for part in message.iter_parts():
        archive = zipfile.ZipFile(io.BytesIO(part.get_payload(decode=True)))
        print("    %s %s, Cookie: %s, part %s = %s holding %s" % (
            post["method"], post["path"], headers.get("Cookie"),
            part.get_param("name", header="content-disposition"),
            part.get_filename(), archive.namelist()))
        for name in archive.namelist():
            for line in archive.read(name).decode("latin-1").splitlines():
                stamp, kind, body = line.split("\x01")
                record = json.loads(body)
                keys = ("_brand", "appVersion", "resource", "message", "page") \
                    if kind == "mobile_monitor" else ("crashdata", "crashinfo")
                print("      record %s %s: %s" % (stamp, kind, ", ".join(
                    "%s=%s" % (k, record[k]) for k in keys)))
if not posts:
    print("    nothing was posted")
left = os.path.exists(os.path.join(sys.argv[2], "Log", "bilog.elog.backup"))
print("    BI backup %s" % ("kept for the next start" if left else "deleted after the post"))
PY
WAIT="$(grep '"crash_dump"' "$DEMO/client.out" | json_field wait_result)"
if [ "$WAIT" = "0" ]; then
  echo "The crashed client was released."
else
  echo "The crashed client was not released (its wait ended with $WAIT: the reporter had gone)."
fi
echo "The reporter exited with code $(json_field code <"$DEMO/reporter.exit")."
