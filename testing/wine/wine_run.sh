#!/bin/bash
# Runs a Windows program under Wine, headless, in the build's throw-away
# prefix. CTest uses this as its cross-compiling emulator; scripts and
# whole-program tests call it too.
#
# The prefix is booted once, under a lock, with a persistent wineserver whose
# standard streams are detached: a wineserver started by a test would inherit
# the caller's output pipe and make CTest (or any pipe reader) wait for it.
#
# "wine_run.sh --stop" ends the prefix's wineserver and everything in it
# (the wine64 package puts no wineserver on PATH, so callers ask here).
set -u
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
  setsid "$WINESERVER" -p </dev/null >/dev/null 2>&1 9>&-
  setsid "$WINE" cmd /c exit 0 </dev/null >/dev/null 2>&1 9>&-
}

# Boots a new prefix in WINEPREFIX.
boot_prefix() {
  setsid "$WINESERVER" -p </dev/null >/dev/null 2>&1 9>&-
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

desktop_running() {
  local pid
  read -r pid 2>/dev/null <"$KEEPALIVE_PID_FILE" || return 1
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null
}

# Wine's desktop process is started by the first program that needs it and
# inherits that program's streams; a detached keeper owns it instead (see
# wine_keepalive_main.cc).
start_desktop() {
  wants_desktop || return 0
  desktop_running && return 0
  local ready="$WINEPREFIX.desktop.ready" i
  rm -f "$ready"
  setsid "$WINE" "$QV_WINE_KEEPALIVE" "Z:${ready//\//\\}" \
    </dev/null >/dev/null 2>&1 9>&- &
  echo $! >"$KEEPALIVE_PID_FILE"
  # The keeper makes the file once the desktop is up (at most 30 s, then the
  # program runs anyway, as it would have without the keeper).
  for ((i = 0; i < 1500; i++)); do
    [ -e "$ready" ] && break
    kill -0 "$!" 2>/dev/null || break
    sleep 0.02
  done
}

wants_desktop() {
  [ -n "${QV_WINE_KEEPALIVE:-}" ] && [ -f "$QV_WINE_KEEPALIVE" ]
}

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
