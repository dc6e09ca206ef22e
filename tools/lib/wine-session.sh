# Sourced by tools/test and tools/run: gives the caller a display, a Wine prefix of the build's own
# whose programs all run inside Wine's virtual desktop, and one wineserver kept alive until exit.
# Expects $build to name the build folder.

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

quorvid_started_xvfb=
quorvid_start_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local fd_file
  fd_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
  quorvid_started_xvfb=$!
  for _ in $(seq 100); do [ -s "$fd_file" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$fd_file")"
  rm -f "$fd_file"
}

quorvid_make_prefix() {
  if [ ! -f "$WINEPREFIX/.quorvid-ready" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    # A virtual desktop for every program of this prefix: Wine's own notification area answers at
    # once there, and the exit code of a program still reaches its caller.
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
    # This Wine does not look into its own font folder, so the caption buttons, drawn with Marlett, show
    # letters. Wine reads the prefix's Fonts folder: Marlett goes there. Its Tahoma stays out on purpose:
    # it runs wider than the Windows one, and the dialogs' labels, laid out for that, would wrap and cut.
    cp -n /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    wineserver -w
    touch "$WINEPREFIX/.quorvid-ready"
  fi
}

quorvid_end_session() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$quorvid_started_xvfb" ] && kill "$quorvid_started_xvfb" 2>/dev/null || true
}

# Wine starts its desktop (explorer.exe) and services on demand, from the first program that needs them,
# and they keep that program's standard output open for as long as they live: a test run by ctest would
# then never see its output end. Start them here, detached from our output, before anything else runs.
quorvid_start_desktop() {
  wine explorer.exe /desktop=Default,1280x1024 </dev/null >/dev/null 2>&1 &
  for _ in $(seq 100); do
    xwininfo -root -children 2>/dev/null | grep -q 'Wine desktop' && return 0
    sleep 0.1
  done
}

quorvid_begin_session() {
  quorvid_start_display
  trap quorvid_end_session EXIT
  quorvid_make_prefix
  wineserver -p >/dev/null 2>&1 || true
  quorvid_start_desktop
}
