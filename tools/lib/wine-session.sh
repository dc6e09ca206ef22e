# Sourced by the tools after build.sh: gives the caller a display and, per target, a Wine prefix of the
# build's own whose programs all run inside Wine's virtual desktop, with one wineserver kept alive until
# that target's session ends.

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# quorvid_use_target ARCH: points $build, the prefix and the Wine loader at one target. The loader is
# called directly: Debian's `wine` wrapper takes the 32-bit one whenever it is installed, even where the
# kernel cannot run it. The `wine` function below stands for it in the tools.
quorvid_use_target() {
  arch=$1
  build="$builds/$arch"
  export WINEPREFIX="$build/wineprefix"
  if [ "$arch" = x86_64 ]; then
    export WINEARCH=win64 WINELOADER="$quorvid_wine_dir/wine64"
  else
    export WINEARCH=win32 WINELOADER="$quorvid_wine_dir/wine"
  fi
}
wine() { "$WINELOADER" "$@"; }

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
    wine wineboot.exe -i >/dev/null 2>&1 || true
    # A virtual desktop for every program of this prefix: Wine's own notification area answers at
    # once there, and the exit code of a program still reaches its caller.
    wine reg.exe add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg.exe add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
    # This Wine does not look into its own font folder, so the caption buttons, drawn with Marlett, show
    # letters. Wine reads the prefix's Fonts folder: Marlett goes there. Its Tahoma stays out on purpose:
    # it runs wider than the Windows one, and the dialogs' labels, laid out for that, would wrap and cut.
    cp -n /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    wineserver -w
    touch "$WINEPREFIX/.quorvid-ready"
  fi
}

# Wine starts its desktop (explorer.exe) and services on demand, from the first program that needs them,
# and they keep that program's standard output open for as long as they live: a test run by ctest would
# then never see its output end. Start them here, detached from our output, before anything else runs.
quorvid_start_desktop() {
  wine explorer.exe /desktop=Default,1280x1024 </dev/null >/dev/null 2>&1 &
  for _ in $(seq 100); do
    xwininfo -root -children 2>/dev/null | grep 'Wine desktop' >/dev/null && return 0
    sleep 0.1
  done
}

# The current target's Wine: its prefix, a wineserver that stays up, and its desktop.
quorvid_begin_wine() {
  quorvid_make_prefix
  wineserver -p >/dev/null 2>&1 || true
  quorvid_start_desktop
}
quorvid_end_wine() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
}

quorvid_end_session() {
  quorvid_end_wine
  [ -n "$quorvid_started_xvfb" ] && kill "$quorvid_started_xvfb" 2>/dev/null || true
}

# For the tools that run one target: quorvid_use_target first.
quorvid_begin_session() {
  quorvid_start_display
  trap quorvid_end_session EXIT
  quorvid_begin_wine
}
