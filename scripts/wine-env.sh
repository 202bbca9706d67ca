# A Wine prefix for the scripts that run acctmap.exe by hand (demo, stress,
# bench). Source it, then:
#
#   wine_env_start FOLDER        fresh 64-bit prefix in FOLDER, services kept
#                                up until the script ends, removed at exit
#   wine_env_standin 64|32 DLL   the netapi32 stand-in into the system folder
#                                of that width (picked by netapi32=n)
#   wine_env_mount_home WINPATH  Cygwin's /home mount, in the 32-bit view
#   wine_env_windows_path PATH   Z:\... for a Unix path
#   wine_env_at_exit COMMAND     run COMMAND at exit, the last one given first
#                                (Wine is stopped where wine_env_start stands)
#
# After wine_env_start, WINE_USER holds the prefix's own user, the only
# account Wine's LookupAccountNameA knows (a real SID, a ProfileList key).

WINE64=/usr/lib/wine/wine64
WINE32=/usr/lib/wine/wine
WINESERVER=/usr/lib/wine/wineserver
export WINESERVER

wine_env_exit_commands=()

wine_env_at_exit() {
  wine_env_exit_commands+=("$1")
}

wine_env_exit() {
  local i
  for ((i = ${#wine_env_exit_commands[@]} - 1; i >= 0; i--)); do
    eval "${wine_env_exit_commands[i]}" || true
  done
}
trap wine_env_exit EXIT
trap "exit 130" INT TERM

wine_env_windows_path() {
  local path
  path=$(realpath -m "$1")
  printf 'Z:%s' "${path//\//\\}"
}

wine_env_start() {
  export WINEPREFIX=$1 WINEARCH=win64 WINEDEBUG=-all
  # No Mono or Gecko installer, no desktop menus, no window for a crash.
  export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
  unset DISPLAY WAYLAND_DISPLAY
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  wine_env_at_exit wine_env_stop
  local log
  log=$(mktemp)
  # Into a file, not a pipe: the services wineboot starts keep its streams.
  "$WINE64" wineboot --init >"$log" 2>&1 || true
  # wineboot returns before the server has written the registry.
  "$WINESERVER" -w
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    cat "$log" >&2
    rm -f "$log"
    echo "wine-env: could not make the prefix $WINEPREFIX" >&2
    return 1
  fi
  rm -f "$log"
  # Wine stops its services when its last program ends and starts them again
  # with the next one, a second or more each time: an interpreter reading
  # from a pipe this script holds open keeps them up until the script ends.
  local mark=$WINEPREFIX/drive_c/wine-env.up
  exec {wine_env_keeper}> >("$WINE64" cmd /q /k >/dev/null 2>&1)
  printf 'echo up> "%s"\r\n' 'C:\wine-env.up' >&"$wine_env_keeper"
  local tries=0
  while [ ! -e "$mark" ] && [ $((tries++)) -lt 600 ]; do
    sleep 0.1
  done
  if [ ! -e "$mark" ]; then
    echo "wine-env: Wine did not come up in $WINEPREFIX" >&2
    return 1
  fi
  rm -f "$mark"
  WINE_USER=$("$WINE64" cmd /c echo %USERNAME% </dev/null | tr -d '\r\n')
  [ -n "$WINE_USER" ]
}

# Ends every program of the prefix and the server, then removes the prefix.
wine_env_stop() {
  [ -n "${wine_env_keeper:-}" ] && exec {wine_env_keeper}>&-
  "$WINESERVER" -k 2>/dev/null
  "$WINESERVER" -w 2>/dev/null
  rm -rf "$WINEPREFIX"
}

wine_env_standin() {
  local folder=system32
  [ "$1" = 32 ] && folder=syswow64
  cp "$2" "$WINEPREFIX/drive_c/windows/$folder/netapi32.dll"
  # Only the account services come from the stand-in; it replaces Wine's
  # own netapi32 for every program started from here on.
  case $WINEDLLOVERRIDES in
    *netapi32=n*) ;;
    *) export WINEDLLOVERRIDES="netapi32=n;$WINEDLLOVERRIDES" ;;
  esac
}

wine_env_mount_home() {
  "$WINE64" reg add 'HKLM\SOFTWARE\Cygnus Solutions\Cygwin\mounts v2\/home' \
    /v native /d "$1" /f /reg:32 >/dev/null 2>&1
}
