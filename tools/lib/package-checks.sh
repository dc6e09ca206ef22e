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

# The installer carries exactly the staged release, whose program is the one built; it has the
# version record, and it asks for no administrator rights before the user chooses all users.
check_payload() {
  local out="$work/payload-$1" stage="$builds/release-$1/stage"
  py check-setup "$dist/$(release_name "$1")-setup.exe" "$version" || return
  7z x -y -o"$out" "$dist/$(release_name "$1")-setup.exe" >/dev/null || return
  cmp "$out/Quorvid.exe" "$builds/release-$1/bin/Quorvid.exe" || return
  # Folders named by a variable ($PLUGINSDIR, the station folder's copy of the example) aside.
  diff -r -x '$*' "$stage" "$out" || return
  cmp "$stage/config.ini.example" "$out"/\$_*_/config.ini
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

# --- The installer, silent, as a user or an administrator would use it. The station's files are the user's. ---

# setup ARCH ARGS...: the installer with this exact command line (wine would quote arguments with
# blanks, and the installer takes /D= only unquoted); its exit code.
setup() {
  local arch=$1
  shift
  run_cmd "C:\\$(release_name "$arch")-setup.exe $*"
}
# run_cmd LINE: that command line through cmd.exe; its exit code. Now and then, under load, Wine fails to
# start a process at all: its loader then says "ShellExecuteEx failed" and gives 1, although nothing of
# the command ran. That start is tried once more; any other outcome is the command's own. The output goes
# through a file, not a pipe: a program that Setup starts again keeps what it inherited open.
run_cmd() {
  local out="$work/cmd.log" status=0
  wine cmd.exe /c "$1" </dev/null >"$out" 2>&1 || status=$?
  if [ "$status" -ne 0 ] && grep -q 'ShellExecuteEx failed' "$out"; then
    sleep 1
    status=0
    wine cmd.exe /c "$1" </dev/null >"$out" 2>&1 || status=$?
  fi
  cat "$out"
  return "$status"
}
# The uninstall entry's three possible keys: the user's, all users' and the 32-bit view's, where two
# packages would each leave one if they were two products.
key_base='Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvid'
entry_keys=("HKCU\\$key_base" "HKLM\\$key_base" "HKLM\\Software\\WOW6432Node\\${key_base#Software\\}")
entry_names=(HKCU HKLM HKLM-32-bit)
entries() {
  local i
  for i in 0 1 2; do
    wine reg.exe query "${entry_keys[i]}" /v DisplayName >/dev/null 2>&1 && echo "${entry_names[i]}"
  done
}
# installer_places ARCH user|all: where that package installs in that scope.
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
# registry_value NAME: a value of the uninstall entry.
registry_value() {
  wine reg.exe query "$uninstall_key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}
station_state() { (cd "$station" && find . -printf '%p %y %s %T@\n' | LC_ALL=C sort); }
shortcuts() { find "$WINEPREFIX/drive_c" -iname 'Quorvid*.lnk' | LC_ALL=C sort; }
startup_shortcut() { shortcuts | grep -i '/startup/'; }
menu_shortcut() { shortcuts | grep -vi '/startup/'; }
# Everything an installation is: its files, shortcuts, entries and the station folder. A refusal
# changes none of it.
state() {
  find "$WINEPREFIX/drive_c" -ipath '*quorvid*' ! -ipath '*/temp/*' -printf '%p %y %s %T@\n' | LC_ALL=C sort
  entries
}

# installed_files_right ARCH [FOLDER]: the program folder holds exactly what was staged, and the
# uninstaller, besides the user's notes.txt where the checks put one.
installed_files_right() {
  local stage="$builds/release-$1/stage" folder=${2:-$instdir}
  diff <(cd "$stage" && find . -type f | LC_ALL=C sort) \
    <(cd "$folder" && find . -type f ! -name uninstall.exe ! -name notes.txt | LC_ALL=C sort) || return
  cmp "$stage/Quorvid.exe" "$folder/Quorvid.exe" && [ -f "$folder/uninstall.exe" ]
}

# installed_right ARCH: one installation, in the program folder of $instdir_win, with one uninstall
# entry ($entry) that describes it, and both shortcuts, in the scope's own folders.
installed_right() {
  installed_files_right "$1" || return
  [ "$(entries)" = "$entry" ] || fail "uninstall entries: $(entries | xargs), not $entry" || return
  local name wanted value
  for name in DisplayName DisplayVersion Publisher DisplayIcon InstallLocation UninstallString \
    QuietUninstallString EstimatedSize NoModify NoRepair StationFolder; do
    value=$(registry_value "$name")
    case $name in
      DisplayVersion) wanted=$version ;;
      DisplayIcon) wanted="$instdir_win\\Quorvid.exe,0" ;;
      InstallLocation) wanted=$instdir_win ;;
      QuietUninstallString) wanted="\"$instdir_win\\uninstall.exe\" /S" ;;
      StationFolder) wanted=$station_win ;;
      *) wanted=$value ;;
    esac
    [ -n "$value" ] && [ "$value" = "$wanted" ] || fail "uninstall entry: $name is '$value'" || return
  done
  check_shortcuts
}

# check_shortcuts [--start|none]: the Start-menu shortcut, and the Startup one unless "none", start the
# program in the station folder; all users' shortcuts live in ProgramData, a user's in the profile.
check_shortcuts() {
  local count=2 folder=/users/
  [ "${1:---start}" = none ] && count=1
  [ "$entry" = HKLM ] && folder=/ProgramData/
  [ "$(shortcuts | wc -l)" -eq $count ] || fail "not $count shortcut(s):" $'\n'"$(shortcuts)" || return
  ! shortcuts | grep -v "$folder" || fail "not in $folder" || return
  py check-lnk "$(menu_shortcut)" "$instdir_win\\Quorvid.exe" "" "$station_win" || return
  [ $count -eq 1 ] || py check-lnk "$(startup_shortcut)" "$instdir_win\\Quorvid.exe" --start "$station_win"
}

# A fresh installation for the user alone: no HKLM entry, nothing outside the user's profile.
check_install() {
  mkdir -p "$station" || return
  cp "$root"/demo/* "$builds/$1/bin/php.exe" "$station/" || return
  station_before=$(station_state)
  installer_places "$1" user
  # The switch quoted whole, as PowerShell and deployment tools pass it.
  wine "C:\\$(release_name "$1")-setup.exe" /S "/STATION=$station_win" /AUTOSTART </dev/null ||
    fail "the installer failed: $?" || return
  installed_right "$1"
}

# Through the Start-menu shortcut, and Start clicked: the scripts and the stand-in interpreter are
# found only in the station folder, so both lists fill only if the program runs there.
check_shortcut_start() {
  wine start /wait /unix "$(menu_shortcut)" </dev/null >"$work/shortcut-run.log" 2>&1 &
  program=$!
  remote wait main && remote post main $WM_COMMAND $IDC_START 0 && remote wait-running ||
    { end_programs; fail "the scripts did not run in the station folder"; }
}

# refused CODE ARCH|FILE ARGS: the installer ends with exit code CODE and changes nothing.
refused() {
  local code=$1 exe=$2 status=0 before
  shift 2
  [ -f "$WINEPREFIX/drive_c/$exe" ] || exe="$(release_name "$exe")-setup.exe"
  before=$(state)
  run_cmd "C:\\$exe $*" || status=$?
  [ "$status" -eq "$code" ] || fail "$exe $*: exit code $status, not $code" || return
  [ "$(state)" = "$before" ] || fail "$exe $* changed:" "$(diff <(echo "$before") <(state))"
}

# listed: the copies of Quorvid running in this session, as the installed program's --list shows them:
# state, program and station folder, one a line.
listed() { wine "$instdir/Quorvid.exe" --list </dev/null | tr -d '\r' | cut -f2-4; }

# While the installed program runs with its scripts, /NOCLOSE refuses the update (exit code 2) and
# changes nothing; without it, a silent update closes the program and starts the new one again in the
# same station folder, its scripts running.
check_update_running() {
  refused 2 "$1" "/S /NOCLOSE" || { end_programs; return 1; }
  setup "$1" /S || { end_programs; fail "the update failed: $?"; return; }
  wait_ended "$program" 20 || { end_programs; return 1; }
  remote wait-running || { end_programs; fail "the scripts do not run after the update"; return; }
  local wanted
  wanted=$(printf 'running\t%s\\Quorvid.exe\t%s' "$instdir_win" "$station_win")
  [ "$(listed | tr '[:upper:]' '[:lower:]')" = "$(echo "$wanted" | tr '[:upper:]' '[:lower:]')" ] ||
    { end_programs; fail "running after the update: $(listed)"; return; }
  wine "$instdir/Quorvid.exe" --exit "--station=$station_win" </dev/null || { end_programs; fail "--exit failed"; }
}

# An update keeps every choice it is not told otherwise: the same version again, with neither
# /STATION nor /AUTOSTART; moved with /D=; /NOAUTOSTART, then /AUTOSTART.
check_update() {
  local home_win=$instdir_win
  setup "$1" /S || fail "the installer failed: $?" || return
  installed_right "$1" || return
  instdir_win="$home_win 2"
  setup "$1" "/S /D=$instdir_win" || fail "the installer failed: $?" || return
  [ ! -e "$instdir" ] || fail "the earlier program folder stayed" || return
  instdir=$(unix_path "$instdir_win")
  installed_right "$1" || return
  installer_places "$1" user
  setup "$1" "/S /NOAUTOSTART /D=$instdir_win" || fail "the installer failed: $?" || return
  check_shortcuts none || return
  setup "$1" "/S /AUTOSTART" || fail "the installer failed: $?" || return
  installed_right "$1"
}

# Installing an older version over this one: asked first, so refused silently, with exit code 3.
check_older() {
  make_installer "$1" 0.9.0.0 "$WINEPREFIX/drive_c/older-setup.exe" || return
  refused 3 older-setup.exe /S
}

# The program folder is the station folder however it is written, a folder inside it, or a folder
# with a file of the user's named as one of Setup's: refused with exit code 4, the file as it was.
check_refuses_folders() {
  local folder_win="$local_appdata_win\\My tools" folder d
  folder=$(unix_path "$folder_win")
  mkdir -p "$folder" && echo "my own notes" >"$folder/README.txt" || return
  refused 4 "$1" "/S /D=$folder_win" || return
  for d in "$station_win" "$station_win\\" "$station_win\\..\\${station_win#C:\\}" "$station_win\\bin"; do
    refused 4 "$1" "/S /D=$d" || return
  done
  [ "$(ls "$folder")" = README.txt ] && [ "$(cat "$folder/README.txt")" = "my own notes" ] ||
    fail "the user's folder changed" || return
  rm -r "$folder"
}

# uninstall [FOLDER]: the uninstall command that Programs and Features runs, from the entry; it returns
# once the removal has ended, with its exit code.
uninstall() {
  local command program_path
  command=$(registry_value QuietUninstallString) # "C:\...\uninstall.exe" /S
  program_path=${command#\"}
  program_path=${program_path%%\"*}
  [ -n "$program_path" ] || fail "no QuietUninstallString" || return
  wine "$program_path" ${command##*\" } </dev/null || fail "the uninstaller failed: $?"
}

# A program folder of the user's, with a file of the user's in it: Setup installs beside the file and
# the uninstaller leaves it, and a second installation there works. The example config.ini, edited where
# it stands, survives an update and the uninstall.
check_user_folder() {
  local folder_win="$local_appdata_win\\My tools" folder
  folder=$(unix_path "$folder_win")
  mkdir -p "$folder" && echo "my own notes" >"$folder/notes.txt" || return
  installer_places "$1" user
  instdir_win=$folder_win instdir=$folder
  local round
  for round in first second; do
    setup "$1" "/S /STATION=$station_win /NOAUTOSTART /D=$folder_win" ||
      fail "the $round installation failed: $?" || return
    installed_files_right "$1" || return
    [ "$(cat "$folder/notes.txt")" = "my own notes" ] || fail "the user's file changed" || return
    [ $round = second ] || { uninstall && [ ! -e "$folder/Quorvid.exe" ]; } || fail "not uninstalled" || return
  done
  echo "interval=20" >>"$folder/config.ini.example"
  cp "$folder/config.ini.example" "$work/edited.ini"
  setup "$1" "/S" || fail "the update failed: $?" || return
  cmp "$work/edited.ini" "$folder/config.ini.example" || fail "the update replaced the edited example" || return
  uninstall || return
  [ "$(cd "$folder" && find . | LC_ALL=C sort | paste -sd " ")" = ". ./config.ini.example ./notes.txt" ] ||
    fail "the program folder holds:" "$(cd "$folder" && find .)" || return
  cmp "$work/edited.ini" "$folder/config.ini.example" || fail "the uninstaller changed the edited example" || return
  rm -r "$folder"
}

# A first installation with nothing but /S: the default station folder, Documents\Quorvid station, is
# made, with the example config.ini in it, and the Start-menu shortcut starts Quorvid there, showing the
# example's settings. Then it is uninstalled, the station folder left as it is.
check_default_station() {
  local documents_win documents
  documents_win=$(wine cmd.exe /c echo %USERPROFILE% </dev/null | tr -d '\r')\\Documents\\Quorvid\ station
  documents=$(unix_path "$documents_win")
  installer_places "$1" user
  setup "$1" /S || fail "the installer failed: $?" || return
  [ -f "$documents/config.ini" ] || fail "no $documents_win\\config.ini" || return
  cmp <(tr -d '\r' <"$documents/config.ini") "$root/installer/example-station/config.ini" ||
    fail "the station's config.ini is not the example" || return
  py check-lnk "$(menu_shortcut)" "$instdir_win\\Quorvid.exe" "" "$documents_win" || return
  wine start /wait /unix "$(menu_shortcut)" </dev/null >"$work/shortcut-run.log" 2>&1 &
  program=$!
  local login
  remote wait main && login=$(remote text main $IDC_LOGIN | tr -d '\r') || { end_programs; fail "no main window"; return; }
  remote post main $WM_COMMAND $IDC_CLOSE 0
  wait_ended "$program" 20 || { end_programs; return 1; }
  [ "$login" = STATION01 ] || fail "the window shows the login '$login', not the example's" || return
  uninstall || return
  [ ! -e "$instdir" ] || fail "the program folder stayed" || return
  [ -f "$documents/config.ini" ] || fail "the uninstaller took the station's config.ini" || return
  rm -r "$documents"
}

# For all users, run elevated from the start (as Wine runs everything), over the user's own
# installation whose uninstall.exe something replaced: that program never runs, the user's installation
# stays as it was, and the log says so. Then the all-users installation is right, once the user's own
# one is gone.
check_all_users() {
  local user_instdir=$instdir user_state canary_win='C:\canary-ran' log
  cat >"$work/canary.c" <<'C'
#include <stdio.h>
int main(void) { FILE* f = fopen("C:\\canary-ran", "w"); if (f) fclose(f); return 0; }
C
  x86_64-w64-mingw32-gcc -o "$user_instdir/uninstall.exe" "$work/canary.c" || return
  user_state=$(cd "$user_instdir" && find . -printf '%p %s %T@\n' | LC_ALL=C sort)
  log=$(unix_path "$(wine cmd.exe /c echo %TEMP% </dev/null | tr -d '\r')\\Quorvid-setup.log")
  rm -f "$log"
  installer_places "$1" all
  setup "$1" "/S /ALLUSERS /AUTOSTART /STATION=$station_win" || fail "the installer failed: $?" || return
  [ ! -e "$(unix_path "$canary_win")" ] || fail "the user's replaced uninstall.exe was run" || return
  [ "$(cd "$user_instdir" && find . -printf '%p %s %T@\n' | LC_ALL=C sort)" = "$user_state" ] ||
    fail "the user's installation changed" || return
  [ "$(entries | xargs)" = "HKCU HKLM" ] || fail "uninstall entries: $(entries | xargs)" || return
  grep -q "leaves that installation as it is" "$log" || fail "the log does not say so:" "$(cat "$log")" || return
  # The user's own installation, taken away by hand.
  rm -r "$user_instdir" && wine reg.exe delete "${entry_keys[0]}" /f >/dev/null 2>&1 || return
  find "$WINEPREFIX/drive_c/users" -iname 'Quorvid*.lnk' -delete
  installed_right "$1"
}

# Programs and Features' uninstall command, while the program runs with its scripts: it closes the
# program, and returns once the removal has ended, the files gone as it returns. A file the user put
# beside the program stays.
check_uninstall() {
  echo "my own notes" >"$instdir/notes.txt" || return
  check_shortcut_start || return
  uninstall || { end_programs; return 1; }
  wait_ended "$program" 20 || { end_programs; return 1; }
  [ "$(cd "$instdir" && find . | LC_ALL=C sort | paste -sd " ")" = ". ./notes.txt" ] ||
    fail "the program folder holds:" "$(cd "$instdir" && find .)" || return
  [ -z "$(shortcuts)" ] || fail "shortcuts left:" "$(shortcuts)" || return
  [ -z "$(entries)" ] || fail "uninstall entries left: $(entries)" || return
  [ "$(station_state)" = "$station_before" ] || fail "the station folder changed" || return
  rm -r "$instdir"
}

check_installer() {
  local arch=$1 label
  label="$(flavour "$1") installer"
  cp "$dist/$(release_name "$arch")-setup.exe" "$WINEPREFIX/drive_c/"
  check "$label: with /S alone, makes the default station folder with the example config.ini, and runs there" \
    check_default_station "$arch"
  check "$label: installs per user, silently, with its uninstall entry and shortcuts" check_install "$arch"
  check "$label: started through the Start-menu shortcut, runs there" check_shortcut_start
  check "$label: /NOCLOSE refuses the running program; an update closes it and starts the new one as it ran" \
    check_update_running "$arch"
  check "$label: an update keeps the station, log-on start and folder; /D= moves, /NOAUTOSTART drops" \
    check_update "$arch"
  check "$label: refuses an older version silently (exit code 3)" check_older "$arch"
  check "$label: refuses the station folder, however written, and a user's file of its names (exit code 4)" \
    check_refuses_folders "$arch"
  check "$label: /ALLUSERS, elevated, leaves the user's installation alone and never runs its uninstaller" \
    check_all_users "$arch"
  check "$label: uninstalls, returning when the files are gone; the user's file and station stay" check_uninstall
  check "$label: installs beside a user's file, uninstalls, installs again; keeps an edited example" \
    check_user_folder "$arch"
}

# The two packages are one product: neither replaces the other's running program; each replaces the
# other, keeping the choices, and leaves one program, one entry, one set of shortcuts. Back to win64
# with no switch at all.
check_one_product() {
  local arch other switches="/STATION=$station_win"
  installer_places x86_64 all
  setup x86_64 "/S /STATION=$station_win /ALLUSERS /AUTOSTART" || fail "the installer failed: $?" || return
  check_shortcut_start || return
  refused 2 i686 "/S /NOCLOSE $switches" || { end_programs; return 1; }
  run_to_end "$program" || { end_programs; return 1; }
  for arch in i686 x86_64; do
    other=$instdir
    installer_places $arch all
    setup $arch "/S $switches" || fail "the $arch installer failed: $?" || return
    switches=
    [ ! -e "$other" ] || fail "the other package's program stayed" || return
    installed_right $arch || return
  done
  check_uninstall
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
    check "$(flavour "$arch").zip: the program runs both scripts and ends cleanly" check_zip_run "$arch"
    check_installer "$arch"
  done
  if quorvid_host_runs_i686; then
    check "win32 and win64 installers: one product, each replaces the other" check_one_product
  else
    echo "win32 installer over win64: not run: $quorvid_i686_refusal"
  fi
  echo "package: $checks_passed passed, $checks_failed failed"
  [ "$checks_failed" -eq 0 ]
}
