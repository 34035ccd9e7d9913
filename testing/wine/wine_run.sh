#!/bin/bash
# Runs a Windows program under Wine, headless, in the build's throw-away
# prefix. CTest uses this as its cross-compiling emulator; scripts and
# whole-program tests call it too.
#
# The prefix is booted once, under a lock, with a persistent wineserver whose
# standard streams are detached: a wineserver started by a test would inherit
# the caller's output pipe and make CTest (or any pipe reader) wait for it.
#
# The server's own complaints (protocol errors, a client it killed) go to
# <prefix>.server.log: they explain a program that died without a word.
#
# "wine_run.sh --stop" ends the prefix's wineserver and everything in it
# (the wine64 package puts no wineserver on PATH, so callers ask here).
#
# Tests with a prefix of their own are handed one of a pool of booted
# prefixes by CTest, which scripts/test.sh gives the pool as a resource
# (CTEST_RESOURCE_GROUP_0_PREFIXES="id:<n>,slots:1"): the test's first
# program, or "wine_run.sh --reset", ends whatever the pool prefix's last
# test left running and puts its files back as the template has them.
# Without the pool (ctest run by hand) such a test gets a new prefix at its
# own path, as before.
set -u
pooled_prefix() {
  local group="${CTEST_RESOURCE_GROUP_0_PREFIXES:-}" id
  [ -n "${QV_PREFIX_POOL:-}" ] && [ -n "$group" ] || return 1
  id="${group#id:}"
  id="${id%%,*}"
  echo "$QV_PREFIX_POOL/$id.wineprefix"
}
if pooled="$(pooled_prefix)"; then
  QV_WINEPREFIX="$pooled"
fi
: "${QV_WINEPREFIX:?QV_WINEPREFIX must name the prefix folder}"
export WINEPREFIX="$QV_WINEPREFIX"
export WINEDEBUG="${WINEDEBUG:--all}"
# No .NET or HTML engines to install, and no menu entries for the desktop.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
unset DISPLAY WAYLAND_DISPLAY http_proxy https_proxy HTTP_PROXY HTTPS_PROXY \
      all_proxy ALL_PROXY no_proxy NO_PROXY ftp_proxy FTP_PROXY
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER="$(command -v wineserver)"

SERVER_PID_FILE="$WINEPREFIX.server.pid"
SERVER_LOG="$WINEPREFIX.server.log"

# Whether process |pid| is this prefix's wineserver. Builtins only: this
# runs before every program, with hundreds of processes on the machine.
is_prefix_server() {
  local entry
  [ "/proc/$1/exe" -ef "$WINESERVER" ] || return 1
  while IFS= read -r -d '' entry; do
    [ "$entry" = "WINEPREFIX=$WINEPREFIX" ] && return 0
  done <"/proc/$1/environ" 2>/dev/null
  return 1
}

# The server found last time is looked at first; only when it is gone are
# all processes searched.
server_running() {
  local pid p
  read -r pid 2>/dev/null <"$SERVER_PID_FILE" && [ -n "$pid" ] \
    && is_prefix_server "$pid" && return 0
  for p in /proc/[0-9]*; do
    pid="${p#/proc/}"
    is_prefix_server "$pid" || continue
    echo "$pid" >"$SERVER_PID_FILE"
    return 0
  done
  return 1
}

start_server() {
  setsid "$WINESERVER" -p </dev/null >>"$SERVER_LOG" 2>&1 9>&-
  setsid "$WINE" cmd /c exit 0 </dev/null >/dev/null 2>&1 9>&-
}

# Boots a new prefix in WINEPREFIX.
boot_prefix() {
  # The server starts in the prefix's folder and ends at once without it.
  mkdir -p "$WINEPREFIX"
  setsid "$WINESERVER" -p </dev/null >>"$SERVER_LOG" 2>&1 9>&-
  setsid "$WINE" wineboot -i </dev/null >/dev/null 2>&1 9>&-
  # No debugger: a breakpoint or crash ends the program instead of
  # starting winedbg.
  setsid "$WINE" reg delete \
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
    </dev/null >/dev/null 2>&1 9>&-
  touch "$WINEPREFIX/.qv_booted"
}

# A prefix booted once and never run in (QV_WINE_TEMPLATE) saves every
# further prefix its boot: scripts/test.sh makes one for the tests that need
# a prefix of their own.
template_ready() {
  [ -n "${QV_WINE_TEMPLATE:-}" ] && [ -f "$QV_WINE_TEMPLATE/.qv_booted" ]
}

# Wine's own programs and libraries, most of a prefix's 700 MB, are only
# read: they are linked, not copied; the rest (about 25 MB) is copied.
SHARED_FOLDERS=(drive_c/windows/system32 drive_c/windows/syswow64
                drive_c/windows/winsxs)
copy_template() {
  local folder excluded=()
  for folder in "${SHARED_FOLDERS[@]}"; do excluded+=(--exclude="./$folder"); done
  mkdir -p "$WINEPREFIX"
  tar -C "$QV_WINE_TEMPLATE" "${excluded[@]}" -cf - . | tar -C "$WINEPREFIX" -xf - \
    || return 1
  for folder in "${SHARED_FOLDERS[@]}"; do
    [ -d "$QV_WINE_TEMPLATE/$folder" ] || continue
    cp -al "$QV_WINE_TEMPLATE/$folder" "$WINEPREFIX/$folder" || return 1
  done
}

# Starts the prefix's persistent wineserver and Wine's own background
# processes with detached streams, booting the prefix first when it is new.
start_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.qv_booted" ]; then
    rm -rf "$WINEPREFIX" "$WINEPREFIX.keepalive.pid" "$SERVER_PID_FILE"
    if template_ready && copy_template; then
      start_server
    else
      rm -rf "$WINEPREFIX"
      boot_prefix
    fi
  elif ! server_running; then
    start_server
  fi
  start_desktop
  exec 9>&-
}

KEEPALIVE_PID_FILE="$WINEPREFIX.keepalive.pid"

# Whether process |pid| runs (a zombie does not).
process_running() {
  local stat
  read -r stat 2>/dev/null <"/proc/$1/stat" || return 1
  stat="${stat##*) }"
  [ "${stat%% *}" != Z ]
}

desktop_running() {
  local pid
  read -r pid 2>/dev/null <"$KEEPALIVE_PID_FILE" || return 1
  [ -n "$pid" ] && process_running "$pid"
}

# Wine's desktop process is started by the first program that needs it and
# inherits that program's streams; a detached keeper owns it instead (see
# wine_keepalive_main.cc). The keeper ends with the desktop, and a desktop
# that did not stay up is started again (three tries).
start_desktop() {
  wants_desktop || return 0
  desktop_running && return 0
  local ready="$WINEPREFIX.desktop.ready" try
  for ((try = 0; try < 3; try++)); do
    start_keeper "$ready" && return 0
  done
}

# Starts a keeper, not a child of this script's program (which would leave
# it a zombie when it ends first), and waits until it has made |ready|: at
# most 30 s, then the program runs anyway, as it would have without the
# keeper. Fails when the keeper ended without a lasting desktop.
start_keeper() {
  local ready="$1" pid i
  rm -f "$ready" "$KEEPALIVE_PID_FILE"
  ( setsid "$WINE" "$QV_WINE_KEEPALIVE" "Z:${ready//\//\\}" \
      </dev/null >/dev/null 2>&1 9>&- &
    echo $! >"$KEEPALIVE_PID_FILE" )
  read -r pid <"$KEEPALIVE_PID_FILE"
  for ((i = 0; i < 1500; i++)); do
    [ -e "$ready" ] && return 0
    process_running "$pid" || return 1
    sleep 0.02
  done
  return 0
}

wants_desktop() {
  [ -n "${QV_WINE_KEEPALIVE:-}" ] && [ -f "$QV_WINE_KEEPALIVE" ]
}

# Wine's own background programs and the desktop keeper stay up between
# tests; that is what the pool saves.
KEPT_PROGRAMS=" services.exe winedevice.exe plugplay.exe svchost.exe rpcss.exe explorer.exe wine_keepalive.exe "

# The file name of the Windows program process |pid| runs, lower case.
program_name() {
  local argv0
  IFS= read -r -d "" argv0 2>/dev/null <"/proc/$1/cmdline" || return 1
  argv0="${argv0##*/}"
  argv0="${argv0##*\\}"
  echo "${argv0,,}"
}

# The processes whose environment names this prefix.
prefix_processes() {
  local match
  grep -lzxF "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null \
    | while IFS= read -r match; do
        match="${match#/proc/}"
        echo "${match%/environ}"
      done
}

# Kills every program of the prefix but the server and those kept, and
# waits (at most 10 s) until they are gone.
end_test_programs() {
  local pid name left i
  for ((i = 0; i < 500; i++)); do
    left=0
    for pid in $(prefix_processes); do
      [ "$pid" = "$$" ] && continue
      [ "/proc/$pid/exe" -ef "$WINESERVER" ] && continue
      name="$(program_name "$pid")" || continue
      case "$KEPT_PROGRAMS" in *" $name "*) continue ;; esac
      kill -KILL "$pid" 2>/dev/null
      left=1
    done
    [ "$left" = 0 ] && return 0
    sleep 0.02
  done
}

# Puts back the template's drive C, less the Windows folder (Wine's own,
# which tests leave alone) but with its Temp folder.
restore_files() {
  local c="$WINEPREFIX/drive_c" t="$QV_WINE_TEMPLATE/drive_c"
  find "$c" -mindepth 1 -maxdepth 1 ! -name windows -exec rm -rf {} +
  rm -rf "$c/windows/temp"
  tar -C "$t" --exclude=./windows -cf - . | tar -C "$c" -xf -
  if [ -d "$t/windows/temp" ]; then
    cp -a "$t/windows/temp" "$c/windows/temp"
  fi
}

# Makes the pool prefix ready for a new test.
reset_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ -f "$WINEPREFIX/.qv_booted" ] && template_ready && server_running; then
    end_test_programs
    restore_files
  fi
  exec 9>&-
}

if [ "${1:-}" = "--reset" ] || { [ -n "${pooled:-}" ] \
     && [ "${QV_PREFIX_RESET:-}" != "$WINEPREFIX" ]; }; then
  [ -n "${pooled:-}" ] && reset_prefix
  export QV_PREFIX_RESET="$WINEPREFIX"
  [ "${1:-}" = "--reset" ] && shift
  [ $# -eq 0 ] && exit 0
fi

if [ "${1:-}" = "--stop" ]; then
  "$WINESERVER" -k 2>/dev/null
  # Gone, its registry saved, before the caller goes on.
  "$WINESERVER" -w 2>/dev/null
  exit 0
fi

if [ ! -f "$WINEPREFIX/.qv_booted" ] || ! server_running \
   || { wants_desktop && ! desktop_running; }; then
  start_prefix
fi
exec "$WINE" "$@"
