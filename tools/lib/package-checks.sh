# Sourced by tools/package --check after packaging: the release files checked as a Windows user would
# meet them. Everything runs under Wine in one fresh 64-bit prefix made for this run, so that nothing an
# earlier run or a test left behind can make an installer look right. The 32-bit files are run too where
# the host can run 32-bit programs; elsewhere the 32-bit installer's payload is compared instead.
source "$root/tools/lib/wine-session.sh"
# The remote control runs from the x86_64 test build, the target the checks set up.
source "$root/tools/lib/remote.sh"

# A station folder with a blank in its name: a shortcut's "Start in" must keep it whole.
station_win='C:\Quorvid station'

checks_passed=0 checks_failed=0
# check NAME FUNCTION [ARGS...]: one counted check. Its output is shown only when it fails. The
# functions run without errexit (bash drops it inside a condition), so each step says when it fails.
check() {
  local name=$1
  shift
  if "$@" >"$work/check.log" 2>&1; then
    checks_passed=$((checks_passed + 1))
    echo "ok    $name"
  else
    checks_failed=$((checks_failed + 1))
    echo "FAIL  $name"
    sed 's/^/      /' "$work/check.log"
  fi
}
fail() {
  echo "$*"
  return 1
}

unix_path() { # C:\a\b -> the prefix's drive_c/a/b
  local rest=${1#C:\\}
  echo "$WINEPREFIX/drive_c/${rest//\\//}"
}

# wait_ended PID SECONDS: the program ends within that time and with status 0.
wait_ended() {
  local status
  for _ in $(seq $(($2 * 10))); do
    if ! kill -0 "$1" 2>/dev/null; then
      wait "$1" && status=0 || status=$?
      [ "$status" -eq 0 ] || fail "Quorvid.exe ended with status $status"
      return
    fi
    sleep 0.1
  done
  fail "Quorvid.exe did not end within $2 s"
}

# Takes a started program of a release to its end: both lists fill (its scripts run), Stop empties
# them, Close ends the program.
run_to_end() {
  local pid=$1
  remote wait main || fail "no main window" || return
  remote wait-running || fail "the scripts did not run" || return
  remote post main $WM_COMMAND $IDC_STOP 0 && remote wait-idle || fail "Stop did not stop the scripts" || return
  remote post main $WM_COMMAND $IDC_CLOSE 0 || return
  wait_ended "$pid" 20
}
# A check that failed half-way must not leave its program to the next one.
end_programs() { wine taskkill.exe /f /im Quorvid.exe >/dev/null 2>&1 || true; }

check_sums() { (cd "$dist" && sha256sum --quiet -c SHA256SUMS); }

check_zip() { py check-zip "$dist/$(release_name "$1").zip" "$1" "$version"; }

# The installer carries exactly the staged release, whose program is the one built, and the helper as
# uninstall.exe (Setup's own copies of both too); it has the version record, and it asks for no
# administrator rights before the user chooses all users.
check_payload() {
  local out="$work/payload-$1" stage="$builds/release-$1/stage"
  py check-setup "$dist/$(release_name "$1")-setup.exe" "$version" || return
  7z x -y -o"$out" "$dist/$(release_name "$1")-setup.exe" >/dev/null || return
  cmp "$out/Quorvid.exe" "$builds/release-$1/bin/Quorvid.exe" && diff -r -x '$*' -x 'uninstall.*' "$stage" "$out" &&
    cmp "$builds/release-$1/helper.exe" "$out/uninstall.exe" && cmp "$out/Quorvid.exe" "$out/\$PLUGINSDIR/Quorvid.exe" &&
    cmp "$out/uninstall.exe" "$out/\$PLUGINSDIR/helper.exe"
}

# The zip's program, unpacked into a station folder (the example config.ini, the demo's scripts and
# the stand-in interpreter beside it), started with --start.
check_zip_run() {
  local folder="$WINEPREFIX/drive_c/zip-$(flavour "$1")"
  7z x -y -o"$folder" "$dist/$(release_name "$1").zip" >/dev/null || return
  cp "$folder/config.ini.example" "$folder/config.ini" || return
  cp "$root"/demo/*.php "$builds/$1/bin/php.exe" "$folder/" || return
  (cd "$folder" && wine "$folder/Quorvid.exe" --start) </dev/null >"$work/zip-run.log" 2>&1 &
  run_to_end $! || { end_programs; return 1; }
}

# --- The installer, silent, as a user, an administrator or a deployment tool would use it. ---

# run_cmd LINE: that exact command line, written to a batch file that cmd.exe runs (so that quotes reach
# the program as written: wine itself would quote an argument with blanks); its exit code. Now and then,
# under load, Wine fails to start a process at all ("ShellExecuteEx failed", 1): that start is tried once
# more. Output goes through a file: a program that Setup starts keeps what it inherited open. A run that
# waits for a person (a message box) is ended after two minutes, with all that runs in Wine.
run_cmd() {
  local out="$work/cmd.log" status=0
  printf '@%s\r\n' "$1" >"$WINEPREFIX/drive_c/run.cmd"
  timeout 120 "$WINELOADER" cmd.exe /c 'C:\run.cmd' </dev/null >"$out" 2>&1 || status=$?
  if [ "$status" -ne 0 ] && grep -q 'ShellExecuteEx failed' "$out"; then
    sleep 1
    status=0
    timeout 120 "$WINELOADER" cmd.exe /c 'C:\run.cmd' </dev/null >"$out" 2>&1 || status=$?
  fi
  if [ "$status" -eq 124 ]; then
    echo "$1: still running after two minutes (a message box?)" >>"$out"
    wineserver -k && quorvid_begin_wine
  fi
  cat "$out"
  return "$status"
}
setup() { # setup ARCH ARGS...: the installer with exactly this command line
  local arch=$1
  shift
  run_cmd "C:\\$(release_name "$arch")-setup.exe $*"
}
key_base='Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvid'
entry_keys=("HKCU\\$key_base" "HKLM\\$key_base")
entry_names=(HKCU HKLM)
# The uninstall entries there are, one a line. Read them whole (grep without -q): a reader that stops at
# its match ends this early, and with pipefail the match then reads as a failure.
entries() {
  local i
  for i in 0 1; do
    if wine reg.exe query "${entry_keys[i]}" /v DisplayName >/dev/null 2>&1; then echo "${entry_names[i]}"; fi
  done
}
# installer_places ARCH user|all: where that package installs in that scope, and its default station.
installer_places() {
  if [ "$2" = user ]; then
    instdir_win="$local_appdata_win\\Programs\\Quorvid" uninstall_key=${entry_keys[0]} entry=HKCU
  elif [ "$1" = x86_64 ]; then
    instdir_win='C:\Program Files\Quorvid' uninstall_key=${entry_keys[1]} entry=HKLM
  else
    instdir_win='C:\Program Files (x86)\Quorvid' uninstall_key=${entry_keys[1]} entry=HKLM
  fi
  instdir=$(unix_path "$instdir_win")
}
registry_value() { # NAME: a value of the uninstall entry
  wine reg.exe query "$uninstall_key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}
shortcuts() { find "$WINEPREFIX/drive_c" -iname 'Quorvid*.lnk' | LC_ALL=C sort; }
scope_shortcuts() { if [ "$entry" = HKLM ]; then shortcuts | grep /ProgramData/; else shortcuts | grep /users/; fi; }
# Everything an installation is, but the logs: its files, shortcuts, entries and station folders.
state() {
  find "$WINEPREFIX/drive_c" -ipath '*quorvid*' ! -ipath '*/temp/*' -printf '%p %y %s %T@\n' | LC_ALL=C sort
  entries
}
installed_files_right() { # ARCH: the program folder holds the release, the uninstaller, and notes.txt if put there
  local stage="$builds/release-$1/stage"
  diff <(cd "$stage" && find . -type f | LC_ALL=C sort) \
    <(cd "$instdir" && find . -type f ! -name 'uninstall.*' ! -name notes.txt | LC_ALL=C sort) || return
  cmp "$stage/Quorvid.exe" "$instdir/Quorvid.exe" && cmp "$builds/release-$1/helper.exe" "$instdir/uninstall.exe" &&
    [ -f "$instdir/uninstall.dat" ] || fail "the program folder's files are not the release's"
}
# installed_right ARCH [LOGON]: the files, the scope's entry describing them, and its shortcuts: the Start
# menu's, and a Startup one with LOGON's arguments (--start, --tray), or none for "none".
installed_right() {
  installed_files_right "$1" || return
  entries | grep -x "$entry" >/dev/null || fail "no $entry uninstall entry: $(entries | xargs)" || return
  local name wanted value
  for name in DisplayVersion InstallLocation QuietUninstallString StationFolder; do
    value=$(registry_value "$name")
    case $name in
      DisplayVersion) wanted=$version ;;
      InstallLocation) wanted=$instdir_win ;;
      QuietUninstallString) wanted="\"$instdir_win\\uninstall.exe\" /S" ;;
      StationFolder) wanted=$station_win ;;
    esac
    [ "$value" = "$wanted" ] || fail "uninstall entry: $name is '$value', not '$wanted'" || return
  done
  local logon=${2:---start} count=2
  [ "$logon" = none ] && count=1
  [ "$(scope_shortcuts | wc -l)" -eq $count ] || fail "not $count shortcut(s):" "$(scope_shortcuts)" || return
  py check-lnk "$(scope_shortcuts | grep -vi /startup/)" "$instdir_win\\Quorvid.exe" "" "$station_win" || return
  [ $count -eq 1 ] || py check-lnk "$(scope_shortcuts | grep -i /startup/)" "$instdir_win\\Quorvid.exe" "$logon" "$station_win"
}
# A station folder with the demo's scripts and the stand-in interpreter.
make_station() { mkdir -p "$1" && cp "$root"/demo/* "$builds/$2/bin/php.exe" "$1/"; }
all_station_win='C:\ProgramData\Quorvid\Station'
# Each installer check starts from a prefix without an installation, whatever the one before it left:
# no Quorvid running, no service, no uninstall entry, program folder or shortcut; the station folder
# with the scripts. A check sets up the installation it needs.
clean_start() {
  local key folder
  end_programs
  for folder in "$station_win" "$all_station_win"; do wine "$zip_exe" --remove-service "--station=$folder" </dev/null >/dev/null 2>&1; done
  for key in "${entry_keys[@]}"; do wine reg.exe delete "$key" /f >/dev/null 2>&1; done
  for folder in "$local_appdata_win\\Programs\\Quorvid" 'C:\Quorvid programs' 'C:\Program Files\Quorvid' \
    'C:\Program Files (x86)\Quorvid' 'C:\ProgramData\Quorvid' "$station_win"; do rm -rf "$(unix_path "$folder")"; done
  shortcuts | while read -r link; do rm -f "$link"; done
  make_station "$station" "$1"
}
afresh() { clean_start "$2" && "$@"; } # afresh FUNCTION ARCH: that check of the installer from a clean start
# refused CODE ARCH ARGS: the installer ends with exit code CODE and changes nothing.
refused() {
  local code=$1 exe=$2 status=0 before
  shift 2
  [ -f "$WINEPREFIX/drive_c/$exe" ] || exe="$(release_name "$exe")-setup.exe"
  before=$(state)
  run_cmd "C:\\$exe $*" || status=$?
  [ "$status" -eq "$code" ] || fail "$exe $*: exit code $status, not $code" || return
  [ "$(state)" = "$before" ] || fail "$exe $* changed:" "$(diff <(echo "$before") <(state))"
}
status_of() { # STATION_WIN: what --status says of it, asked of the zip's program (it outlives the installations)
  wine "$zip_exe" --status "--station=$1" </dev/null | tr -d '\r'
}
uninstall() { # the entry's quiet uninstall command, which returns once the removal has ended
  local command
  command=$(registry_value QuietUninstallString)
  [ -n "$command" ] || fail "no QuietUninstallString" || return
  run_cmd "$command" || fail "the uninstaller failed: $?"
}
# Through the Start-menu shortcut, Start clicked: the scripts and the stand-in are found only in the
# station folder, so both lists fill only if the program runs there.
start_by_shortcut() {
  wine start /unix "$(scope_shortcuts | grep -vi /startup/)" </dev/null >"$work/shortcut-run.log" 2>&1
  remote wait main && remote post main $WM_COMMAND $IDC_START 0 && remote wait-running ||
    { end_programs; fail "the scripts did not run in the station folder"; }
}
# install_for_user ARCH: installed for the user, for the station folder, and running with its scripts.
install_for_user() {
  installer_places "$1" user
  setup "$1" "/S \"/STATION=$station_win\"" || fail "the installer failed: $?" || return
  start_by_shortcut
}

# /S alone: for the user, the default station folder made with the example config.ini, where the
# Start-menu shortcut starts Quorvid showing the example's settings. Uninstalled by the entry's command
# while it runs its scripts there: it closes the program and returns once the files are gone, exit code
# 0; a file of the user's beside the program, and the station folder, stay.
check_default_station() {
  local documents_win documents login
  documents_win=$(wine cmd.exe /c echo %USERPROFILE% </dev/null | tr -d '\r')\\Documents\\Quorvid\ station
  documents=$(unix_path "$documents_win")
  rm -rf "$documents"
  installer_places "$1" user
  setup "$1" /S || fail "the installer failed: $?" || return
  cmp <(tr -d '\r' <"$documents/config.ini") "$root/installer/example-station/config.ini" ||
    fail "the station's config.ini is not the example" || return
  station_win=$documents_win installed_right "$1" || return
  cp "$root"/demo/*.php "$builds/$1/bin/php.exe" "$documents/" && echo "my own notes" >"$instdir/notes.txt" || return
  start_by_shortcut || return
  login=$(remote text main $IDC_LOGIN | tr -d '\r')
  [ "$login" = STATION01 ] || { end_programs; fail "the window shows the login '$login', not the example's"; return; }
  uninstall || { end_programs; return 1; }
  remote gone main || { end_programs; fail "the program still runs"; return; }
  [ "$(cd "$instdir" && find . | LC_ALL=C sort | paste -sd " ")" = ". ./notes.txt" ] ||
    fail "the program folder holds:" "$(cd "$instdir" && find .)" || return
  [ -z "$(scope_shortcuts)" ] || fail "shortcuts left:" "$(scope_shortcuts)" || return
  ! entries | grep -x "$entry" >/dev/null || fail "the $entry entry is left" || return
  [ -f "$documents/config.ini" ] || fail "the uninstaller took the station's config.ini"
}

# For the user, every switch quoted whole as PowerShell 7.3 and deployment tools pass them ("/S" and a
# program folder with a blank too): installed there, for that station, with the log-on start.
check_install_quoted() {
  installer_places "$1" user
  instdir_win='C:\Quorvid programs' instdir=$(unix_path 'C:\Quorvid programs')
  setup "$1" "\"/S\" \"/STATION=$station_win\" /AUTOSTART \"/D=$instdir_win\"" || fail "the installer failed: $?" || return
  installed_right "$1"
}

# An update of that installation keeps every choice, the log-on start on or off; /D= moves it,
# /NOAUTOSTART drops the log-on start. While the program runs with its scripts, /NOCLOSE refuses (exit
# code 2); without it, the update closes the program and starts it again in its station folder, its
# scripts running.
check_update() {
  check_install_quoted "$1" || return
  setup "$1" /S || fail "the update failed: $?" || return
  installed_right "$1" || return
  local old=$instdir
  installer_places "$1" user
  setup "$1" "/S /NOAUTOSTART \"/D=$instdir_win\"" || fail "the move failed: $?" || return
  [ ! -e "$old" ] || fail "the earlier program folder stayed" || return
  installed_right "$1" none || return
  start_by_shortcut || return
  refused 2 "$1" "/S /NOCLOSE" || { end_programs; return 1; }
  setup "$1" /S || { end_programs; fail "the update failed: $?"; return; }
  remote wait-running || { end_programs; fail "the scripts do not run after the update"; return; }
  status_of "$station_win" >/dev/null || { end_programs; fail "--status does not see both scripts"; return; }
  installed_right "$1" none
}

# A file of the installation held open by another program, so that it cannot be replaced: Setup puts
# everything back (exit code 5), and the copy it closed runs again with its scripts.
check_failure_restarts() {
  cat >"$work/hold.c" <<'C'
#include <windows.h>
int wmain(int argc, wchar_t** argv) { HANDLE h = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (h == INVALID_HANDLE_VALUE) return 1; Sleep(INFINITE); return 0; }
C
  x86_64-w64-mingw32-gcc -municode -o "$work/hold.exe" "$work/hold.c" || return
  install_for_user "$1" || return
  local before holder status=0
  before=$(cd "$instdir" && find . -mindepth 1 -printf '%p %s %T@\n' | LC_ALL=C sort)
  wine "$work/hold.exe" "$instdir_win\\README.txt" </dev/null >/dev/null 2>&1 &
  holder=$!
  sleep 2
  setup "$1" /S || status=$?
  kill "$holder" 2>/dev/null; wine taskkill.exe /f /im hold.exe >/dev/null 2>&1
  [ "$status" -eq 5 ] || { end_programs; fail "exit code $status, not 5"; return; }
  [ "$(cd "$instdir" && find . -mindepth 1 -printf '%p %s %T@\n' | LC_ALL=C sort)" = "$before" ] ||
    { end_programs; fail "the program folder changed"; return; }
  remote wait-running || { end_programs; fail "the closed copy does not run again"; return; }
  wine "$instdir/Quorvid.exe" --exit "--station=$station_win" </dev/null || { end_programs; fail "--exit failed"; }
}

# Refused, changing nothing: an unknown switch, and /ALLUSERS with a program folder outside Program Files
# (4); a program folder that is the station folder however written, lies in it, or holds a file of the
# user's named as one of Setup's (4); over this version, an older one (3).
check_refusals() {
  refused 4 "$1" "/S /ALLUSER" || return
  refused 4 "$1" "/S /ALLUSERS \"/D=C:\\Quorvid for all\"" || return
  local folder_win="$local_appdata_win\\My tools" d
  mkdir -p "$(unix_path "$folder_win")" && echo "my own notes" >"$(unix_path "$folder_win")/README.txt" || return
  for d in "$folder_win" "$station_win" "$station_win\\" "$station_win\\..\\${station_win#C:\\}" "$station_win\\bin"; do
    refused 4 "$1" "/S \"/STATION=$station_win\" \"/D=$d\"" || return
  done
  [ "$(cat "$(unix_path "$folder_win")/README.txt")" = "my own notes" ] || fail "the user's file changed" || return
  rm -r "$(unix_path "$folder_win")"
  setup "$1" "/S \"/STATION=$station_win\"" || fail "the installer failed: $?" || return
  make_installer "$1" 0.9.0.0 "$WINEPREFIX/drive_c/older-setup.exe" && refused 3 older-setup.exe /S
}

# For all users, silently: the program in Program Files, the service running both scripts in the
# default station (%ProgramData%\Quorvid\Station), seen by another copy's --status, and the view at
# everyone's log-on. An update stops the service, replaces the program, and the service runs again.
install_for_all() {
  installer_places "$1" all
  make_station "$(unix_path "$all_station_win")" "$1" &&
    cp "$root/installer/example-station/config.ini" "$(unix_path "$all_station_win")/" || return
  setup "$1" /S /ALLUSERS || fail "the installer failed: $?" || return
  station_win=$all_station_win installed_right "$1" --tray || return
  for _ in $(seq 50); do status_of "$all_station_win" >/dev/null && break; sleep 0.2; done
  status_of "$all_station_win" >/dev/null || fail "--status: the service does not run both scripts"
}
check_all_users() {
  install_for_all "$1" || return
  local first second
  first=$(status_of "$all_station_win")
  touch -d @0 "$instdir/Quorvid.exe"
  setup "$1" /S || fail "the update failed: $?" || return
  cmp "$builds/release-$1/stage/Quorvid.exe" "$instdir/Quorvid.exe" && [ "$(stat -c %Y "$instdir/Quorvid.exe")" != 0 ] ||
    fail "the program was not replaced" || return
  for _ in $(seq 50); do status_of "$all_station_win" >/dev/null && break; sleep 0.2; done
  second=$(status_of "$all_station_win") || fail "--status after the update: $second" || return
  [ "$second" != "$first" ] || fail "the service's scripts were not started again: $second"
}

# For the user beside all users' installation: installed and uninstalled, leaving it untouched, its
# service running. Then all users' is uninstalled: the service goes, the station folder stays.
check_beside_all_users() {
  install_for_all "$1" || return
  local all_state
  all_state=$(cd "$instdir" && find . -printf '%p %s %T@\n' | LC_ALL=C sort)
  installer_places "$1" user
  setup "$1" "/S /CURRENTUSER \"/STATION=$station_win\"" || fail "the installer failed: $?" || return
  installed_right "$1" || return
  uninstall || return
  [ "$(entries | xargs)" = HKLM ] || fail "uninstall entries: $(entries | xargs)" || return
  installer_places "$1" all
  [ "$(cd "$instdir" && find . -printf '%p %s %T@\n' | LC_ALL=C sort)" = "$all_state" ] ||
    fail "all users' installation changed" || return
  status_of "$all_station_win" >/dev/null || fail "all users' service stopped" || return
  uninstall && [ ! -e "$instdir" ] || fail "all users' installation stayed" || return
  ! status_of "$all_station_win" >/dev/null || fail "the service still runs" || return
  [ -f "$(unix_path "$all_station_win")/config.ini" ] || fail "the station folder went"
}

# Exit code 6: for all users with a station folder that a running copy supervises, the service cannot
# be installed; Setup says so.
check_service_refused() {
  (cd "$station" && wine "$zip_exe") </dev/null >/dev/null 2>&1 &
  remote wait main || { end_programs; fail "no copy runs in the station folder"; return; }
  local status=0
  setup "$1" "/S /ALLUSERS \"/STATION=$station_win\"" || status=$?
  end_programs
  [ "$status" -eq 6 ] || fail "exit code $status, not 6"
}

# Each from a clean start, so that one that fails leaves nothing to the next.
check_installer() {
  local arch=$1 label
  label="$(flavour "$1") installer"
  cp "$dist/$(release_name "$arch")-setup.exe" "$WINEPREFIX/drive_c/"
  check "$label: /S alone: for the user, the default station with the example config.ini; uninstalled while it runs" \
    afresh check_default_station "$arch"
  check "$label: every switch quoted whole (\"/S\", \"/D=C:\\a b\"), for the user, with the log-on start" \
    afresh check_install_quoted "$arch"
  check "$label: an update keeps every choice, /D= moves, /NOCLOSE refuses a running copy (2), a running one restarts" \
    afresh check_update "$arch"
  check "$label: a file held open: everything put back (5), the closed copy runs again" \
    afresh check_failure_restarts "$arch"
  check "$label: refuses an unknown switch and the folders it must not use (4), an older version (3)" \
    afresh check_refusals "$arch"
  check "$label: /ALLUSERS: Program Files, a service that runs both scripts, an update that restarts it" \
    afresh check_all_users "$arch"
  check "$label: for the user beside all users' installation, leaving it; uninstalled, the service goes" \
    afresh check_beside_all_users "$arch"
  check "$label: a service that cannot be installed (a copy holds its station): exit code 6" \
    afresh check_service_refused "$arch"
}

# The two packages are one product: each replaces the other in place, keeping the choices, and leaves one
# program, one entry, one set of shortcuts.
check_one_product() {
  local arch
  for arch in x86_64 i686 x86_64; do
    installer_places $arch user
    setup $arch "/S \"/STATION=$station_win\"" || fail "the $arch installer failed: $?" || return
    installed_right $arch || return
  done
  uninstall
}

check_release() {
  work="$builds/package-check"
  local runnable=(x86_64)
  quorvid_host_runs_i686 && runnable=(i686 x86_64)
  # The remote control and, per target run, the stand-in interpreter come from the test builds.
  quorvid_build x86_64 -- --target quorvid_standin quorvid_remote
  quorvid_host_runs_i686 && quorvid_build i686 -- --target quorvid_standin

  rm -rf "$work"
  mkdir -p "$work"
  quorvid_use_target x86_64
  export WINEPREFIX="$work/wineprefix"
  # Shortcuts made in the prefix would otherwise turn into menu entries of this machine's desktop.
  export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
  quorvid_start_display
  trap quorvid_end_session EXIT
  quorvid_begin_wine
  # Wine links the user's Documents to this machine's home folder: the default station folder must stay
  # in the prefix.
  local link
  for link in "$WINEPREFIX"/drive_c/users/*/Documents; do
    if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
  done

  local arch
  check "SHA256SUMS verify" check_sums
  for arch in i686 x86_64; do
    check "$(flavour "$arch").zip: a release, its program $arch with version $version" check_zip "$arch"
    check "$(flavour "$arch") installer: carries the built program, its version, no admin prompt" \
      check_payload "$arch"
  done
  quorvid_host_runs_i686 ||
    echo "i686: not run: $quorvid_i686_refusal; its installer's payload was compared with the built program instead"
  local_appdata_win=$(wine cmd.exe /c echo %LOCALAPPDATA% </dev/null | tr -d '\r')
  station=$(unix_path "$station_win")
  for arch in "${runnable[@]}"; do
    zip_exe="C:\\zip-$(flavour "$arch")\\Quorvid.exe"
    check "$(flavour "$arch").zip: the program runs both scripts and ends cleanly" check_zip_run "$arch"
    check_installer "$arch"
  done
  if quorvid_host_runs_i686; then
    check "win32 and win64 installers: one product, each replaces the other" afresh check_one_product x86_64
  else
    echo "win32 installer over win64: not run: $quorvid_i686_refusal"
  fi
  echo "package: $checks_passed passed, $checks_failed failed"
  [ "$checks_failed" -eq 0 ]
}
