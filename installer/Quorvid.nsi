; Quorvid's Setup: makensis -DARCH=win32|win64 -DVERSION=x.y.z.w -DSTAGE=dir (Quorvid.exe, README.txt,
; config.ini.example) -DHELPER=helper.exe -DICON=file -DOUTFILE=file Quorvid.nsi. Its pages, switches and
; exit codes are the README's "Installing". The program does the program's work (--exit-all, --resume,
; --remove-service, --install-service). Elevated, it runs nothing a user could change, starts nothing as admin.
!searchparse /noerrors "${NSIS_VERSION}-" "v" NSIS_RELEASE "-"
!if "${NSIS_RELEASE}" != "3.08"
  !error "Quorvid's Setup is built with NSIS 3.08, not ${NSIS_VERSION}"
!endif
!if ${ARCH} == win64
  Target amd64-unicode
  !define PROGRAMS $PROGRAMFILES64
!else
  Target x86-unicode
  !define PROGRAMS $PROGRAMFILES32
!endif
; One block, and no file times: the same payload makes the same installer, byte for byte.
SetCompressor /SOLID lzma
SetDateSave off
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include nsDialogs.nsh
!include shared.nsh
!define START_AFTER 10 ; the elevated Setup's word to the one that waits: installed, "Start Quorvid now" on
Name "Quorvid"
Caption "Quorvid ${VERSION} Setup"
OutFile "${OUTFILE}"
RequestExecutionLevel user
ManifestDPIAware true
SpaceTexts none ; a few hundred KB, and the station folder's page would show them too
BrandingText "Quorvid ${VERSION}"
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Quorvid Sharing Application Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2010 Quorvid Labs"
Var ScopeGiven     ; 1: /ALLUSERS or /CURRENTUSER decided it
Var Admin          ; 1: this process may write for all users
Var Marked         ; 1: elevated (/ELEVATED) by a Setup that waits for it, and closes and restarts the copies
Var DirGiven       ; the program folder and the station folder as /D= and /STATION= named them, else ""
Var StationGiven
Var Autostart      ; 1: start at log-on (for all users: the view)
Var AutostartGiven ; 1 or 0 as /AUTOSTART or /NOAUTOSTART said, else ""
Var Downgrade
Var CopyExample
Var UserPrograms   ; the per-user program folders' parent
Var PrevDir        ; the scope's installation: its folder ("": none), version, station
Var PrevVersion
Var PrevStation
Var PrevEdits      ; 1: made by Quorvid 1.2, which let config.ini.example be edited where it stands
Var Secured        ; " --force": Setup gave the station folder its access list itself
Var InstalledNote  ; for the first page: what is installed already
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_CUSTOMFUNCTION_ABORT Resume
Page custom ScopePage ScopeLeave
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup puts Quorvid's program in this folder; for all users it must lie inside Program Files, where only administrators can change it. Files of yours in the folder stay as they are. It must be apart from the station folder."
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE FoldersLeave
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_PAGE_HEADER_TEXT "Station folder"
!define MUI_PAGE_HEADER_SUBTEXT "The folder the station runs in."
!define MUI_DIRECTORYPAGE_TEXT_TOP "The station folder holds config.ini, the station's settings, and its two scripts, sbs1station.php and uploader.php; php.exe may be there too. Setup creates the folder if it does not exist."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Station folder"
!define MUI_DIRECTORYPAGE_VARIABLE $Station
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE FoldersLeave
!insertmacro MUI_PAGE_DIRECTORY
Page custom OptionsPage OptionsLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Quorvid now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartNow
!insertmacro MUI_PAGE_FINISH
!define MUI_UNCONFIRMPAGE_TEXT_TOP "Quorvid's program, its shortcuts and its entry in the list of installed programs will be removed; for all users, the station's service too. A running Quorvid is closed first. The station folder stays as it is, and so do files of yours in the folder below."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro SHARED "" setup
!insertmacro SHARED "un." uninstall
!include folders.nsh
!include wizard.nsh
!include uninstaller.nsh
; The scope's installation; unless given, the folders and log-on start as it had them, else the scope's
; defaults. A newer version is replaced only when asked (/DOWNGRADE, or Yes), else exit code 3.
Function ApplyScope
  Call UseScope
  ReadRegStr $PrevDir SHCTX "${UNINST_KEY}" "InstallLocation"
  ReadRegStr $PrevVersion SHCTX "${UNINST_KEY}" "DisplayVersion"
  ReadRegStr $PrevStation SHCTX "${UNINST_KEY}" "StationFolder"
  ReadRegStr $PrevEdits SHCTX "${UNINST_KEY}" "ExampleHash"
  ${IfThen} $PrevEdits != "" ${|} StrCpy $PrevEdits 1 ${|}
  StrCpy $INSTDIR "$UserPrograms\Quorvid"
  ${IfThen} $Scope == all ${|} StrCpy $INSTDIR "${PROGRAMS}\Quorvid" ${|}
  ${IfThen} $PrevDir != "" ${|} StrCpy $INSTDIR $PrevDir ${|}
  ${IfThen} $DirGiven != "" ${|} StrCpy $INSTDIR $DirGiven ${|}
  StrCpy $Station "$DOCUMENTS\Quorvid station"
  ${IfThen} $Scope == all ${|} StrCpy $Station "$APPDATA\Quorvid\Station" ${|} ; %ProgramData%
  ${IfThen} $PrevStation != "" ${|} StrCpy $Station $PrevStation ${|}
  ${IfThen} $StationGiven != "" ${|} StrCpy $Station $StationGiven ${|}
  StrCpy $Autostart 1
  ${IfThen} $PrevDir != "" ${|} StrCpy $Autostart 0 ${|}
  ${IfThen} ${FileExists} "$SMSTARTUP\Quorvid.lnk" ${|} StrCpy $Autostart 1 ${|}
  ${IfThen} $AutostartGiven != "" ${|} StrCpy $Autostart $AutostartGiven ${|}
  ${VersionCompare} ${VERSION} "$PrevVersion" $0
  ${If} "$0$Downgrade" == 2
  ${AndIf} ${Cmd} `MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "Quorvid $PrevVersion is installed, a newer version than this one (${VERSION}).$\r$\n$\r$\nReplace it with the older version?" /SD IDNO IDNO`
    SetErrorLevel 3
    Quit
  ${EndIf}
FunctionEnd
; Starts again what --exit-all closed (--resume starts each copy's own program) and deletes the file.
Function Resume
  ${IfThen} $Saved == "" ${|} Return ${|}
  ExecWait `"$PLUGINSDIR\helper.exe" --start "$TEMP" "$Program" "--resume=$Saved"` $0
  ${For} $R9 1 100 ; not $1: InstallElevated's exit code
    ${IfThen} $0 != 0 ${|} ${Break} ${|}
    ${IfThen} ${FileExists} $Saved ${|} Sleep 100 ${|}
  ${Next}
  ${If} $0 != 0
  ${OrIf} ${FileExists} $Saved
    Push "Quorvid's closed copies could not be started again with your own rights: start Quorvid from the Start menu."
    Call Log
  ${EndIf}
  StrCpy $Saved ""
FunctionEnd
; "Start Quorvid now": an elevated Setup that another one waits for leaves it to that one.
Function StartNow
  ${If} $Marked == 1
    SetErrorLevel ${START_AFTER}
    Return
  ${EndIf}
  ExecWait `"$PLUGINSDIR\helper.exe" --start "$Station" "$INSTDIR\Quorvid.exe"` $0
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "Quorvid could not be started with your own rights. Start it from the Start menu." /SD IDOK
  ${EndIf}
FunctionEnd
; The release's files, written as one: each old one moved aside (NAME.old, also a running program's), then
; the new ones written. One not moved or not written puts every old one back: exit code 5, nothing changed.
Function WriteFiles
  SetOutPath $INSTDIR
  ${For} $1 1 5
    ${WordFind} "${PROGRAM_FILES}" " " "+$1" $2
    Delete "$INSTDIR\$2.old"
    ClearErrors
    ${IfThen} ${FileExists} "$INSTDIR\$2" ${|} Rename "$INSTDIR\$2" "$INSTDIR\$2.old" ${|}
    ${IfThen} ${Errors} ${|} ${Break} ${|}
  ${Next}
  StrCpy $R0 $1 ; 6: all moved aside and written; else the one that could not be moved, or 0
  ${If} $1 > 5
    SetOverwrite try
    File "${STAGE}/Quorvid.exe"
    File "${STAGE}/README.txt"
    File "${STAGE}/config.ini.example"
    File "/oname=uninstall.exe" "${HELPER}"
    WriteUninstaller "$INSTDIR\uninstall.dat"
    SetOverwrite on
    ${IfThen} ${Errors} ${|} StrCpy $R0 0 ${|}
  ${EndIf}
  ; On, or back. Quorvid 1.2 let the example be edited where it stands: that one stays, as its .old.
  ${For} $3 1 5
    ${WordFind} "${PROGRAM_FILES}" " " "+$3" $2
    ${If} $R0 > 5
      ${IfThen} "$2$PrevEdits" != "config.ini.example1" ${|} Delete /REBOOTOK "$INSTDIR\$2.old" ${|}
    ${ElseIf} $3 < $1
      Delete "$INSTDIR\$2"
      Rename "$INSTDIR\$2.old" "$INSTDIR\$2"
    ${EndIf}
  ${Next}
  ${If} $R0 < 6
    StrCpy $2 "its files"
    ${If} $R0 > 0
      ${WordFind} "${PROGRAM_FILES}" " " "+$R0" $2
    ${EndIf}
    RMDir $INSTDIR
    ${FAIL} 5 "Setup could not replace $2 in $INSTDIR: another program may hold it open. The installation is as it was. Close that program, or restart the computer, and run Setup again."
  ${EndIf}
FunctionEnd
; Every way out after closing starts again what was closed: the service too.
Function .onInstFailed
  StrCpy $R0 $ServiceRemoved
  ${IfThen} $R0 != "" ${|} Call InstallService ${|}
  Call Resume
FunctionEnd
Section "Quorvid"
  Call FolderProblem
  ${If} $R0 != ""
    ${FAIL} 4 "$R0 Nothing was changed."
  ${EndIf}
  ${IfThen} $Marked != 1 ${|} Call CloseCopies ${|}
  ${If} $Scope == all
    StrCpy $R0 $PrevStation
    Call RemoveService
  ${EndIf}
  Call WriteFiles
  ; For all users a station folder Setup makes, or its own in %ProgramData%, gets an access list (admins and
  ; SYSTEM change, users read) and the service --force; the program judges any other (--install-service).
  StrCpy $Secured ""
  ${IfNot} ${FileExists} "$Station\*"
  ${OrIf} $Station == "$APPDATA\Quorvid\Station"
  ${AndIf} $Scope == all
    CreateDirectory $Station
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", i 1, *p .r0, p 0)'
    System::Call 'advapi32::GetSecurityDescriptorOwner(p r0, *p .r2, *i)'
    System::Call 'advapi32::GetSecurityDescriptorDacl(p r0, *i, *p .r3, *i)'
    System::Call 'advapi32::SetNamedSecurityInfoW(w "$Station", i 1, i 0x80000005, p r2, p 0, p r3, p 0) i .r1'
    System::Call 'kernel32::LocalFree(p r0)'
    ${IfThen} $1 == 0 ${|} StrCpy $Secured " --force" ${|}
    Push "Set the station folder's access list: administrators and SYSTEM may change it, users may read it (result $1)."
    Call Log
  ${EndIf}
  CreateDirectory $Station
  ${If} $CopyExample == 1
  ${AndIfNot} ${FileExists} "$Station\config.ini"
    CopyFiles /SILENT "$INSTDIR\config.ini.example" "$Station\config.ini"
  ${EndIf}
  ; An installation moved by /D= goes, with its shortcuts and entry; an update replaces them.
  ${If} $PrevDir != ""
  ${AndIf} $InPlace != 1
    StrCpy $R0 $PrevDir
    Call RemoveInstallation
  ${EndIf}
  Delete "$SMSTARTUP\Quorvid.lnk"
  DeleteRegKey SHCTX "${UNINST_KEY}"
  ; A shortcut's "Start in" is the output folder; set by hand, it leaves the station folder as it is.
  StrCpy $OUTDIR $Station
  CreateShortcut "$SMPROGRAMS\Quorvid.lnk" "$INSTDIR\Quorvid.exe" "" "" "" SW_SHOWNORMAL "" "Quorvid in $Station"
  ${If} $Autostart == 1
    StrCpy $0 "--start"
    ${IfThen} $Scope == all ${|} StrCpy $0 "--tray" ${|}
    CreateShortcut "$SMSTARTUP\Quorvid.lnk" "$INSTDIR\Quorvid.exe" $0 "" "" SW_SHOWNORMAL "" "Quorvid in $Station"
  ${EndIf}
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayName" "Quorvid Sharing Application"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINST_KEY}" "Publisher" "Quorvid Labs"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Quorvid.exe,0"
  WriteRegStr SHCTX "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr SHCTX "${UNINST_KEY}" "StationFolder" $Station
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINST_KEY}" "EstimatedSize" $0
  Push "Installed Quorvid ${VERSION} in $INSTDIR, for the station folder $Station."
  Call Log
  ${If} $Scope == all
    StrCpy $R0 $Station
    Call InstallService
    ${If} $R0 != 0
      ${FAIL} 6 "Quorvid is installed, but the service that runs the station could not be set up (exit code $R0): the log says why. Once that is mended, run Setup again."
    ${EndIf}
    StrCpy $ServiceRemoved ""
  ${EndIf}
  Call Resume
SectionEnd
; For all users without an administrator's rights: Setup again, approved and waited for. The user's copies
; are closed and started again here, with "Start Quorvid now", with the user's own rights. Not approved:
; back to the page where there is one, else exit code 1.
Function InstallElevated
  Call CloseCopies
  StrCpy $0 "/NOAUTOSTART"
  ${IfThen} $Autostart == 1 ${|} StrCpy $0 "/AUTOSTART" ${|}
  ${IfThen} ${Silent} ${|} StrCpy $0 "$0 /S" ${|}
  HideWindow
  ExecWait `"$PLUGINSDIR\helper.exe" --runas "$EXEDIR" "$EXEPATH" /ALLUSERS /ELEVATED /DOWNGRADE $0 "/STATION=$Station" "/D=$INSTDIR"` $1
  Call Resume
  ${If} $1 == 1223
    BringToFront
    MessageBox MB_OK|MB_ICONEXCLAMATION "Installing for all users needs an administrator's approval, which was not given." /SD IDOK
    ${IfThen} $ScopeGiven != 1 ${|} Abort ${|}
    StrCpy $1 1
  ${EndIf}
  ${If} $1 == ${START_AFTER}
    StrCpy $1 0
    ReadRegStr $INSTDIR SHCTX "${UNINST_KEY}" "InstallLocation" ; the folders as installed
    ReadRegStr $Station SHCTX "${UNINST_KEY}" "StationFolder"
    Call StartNow
  ${EndIf}
  SetErrorLevel $1
  Quit
FunctionEnd
; The command line, each switch written either way: /STATION="C:\a b", or quoted whole, "/STATION=C:\a b",
; as PowerShell and deployment tools pass it; "/S" and "/D=..." too, which NSIS itself takes only
; unquoted. $R0 = the first word Setup does not take, or "".
Function ReadParams
  ${GetParameters} $9
  StrCpy $9 "$9 " ; a blank ends the last word
  StrLen $8 $9
  StrCpy $R0 ""
  StrCpy $4 "" ; a word, up to a blank outside quotes; the quotes go
  StrCpy $5 0
  ${For} $1 0 $8
    StrCpy $2 $9 1 $1
    ${If} $2 == `"`
      IntOp $5 1 - $5
    ${ElseIf} "$2$5" != " 0"
      StrCpy $4 "$4$2"
    ${ElseIf} $4 != ""
      ${WordFind} $4 "=" "+1{" $6
      StrLen $7 $6
      IntOp $7 $7 + 1
      StrCpy $7 $4 "" $7
      ${If} $6 == "/S"
        SetSilent silent
      ${ElseIf} $6 == "/D"
        StrCpy $DirGiven $7
      ${ElseIf} $6 == "/STATION"
        StrCpy $StationGiven $7
      ${ElseIf} $6 == "/AUTOSTART"
        StrCpy $AutostartGiven 1
      ${ElseIf} $6 == "/NOAUTOSTART"
        StrCpy $AutostartGiven 0
      ${ElseIf} "$6$Scope" == "/ALLUSERS"
        StrCpy $Scope all
      ${ElseIf} "$6$Scope" == "/CURRENTUSER"
        StrCpy $Scope user
      ${ElseIf} $6 == "/DOWNGRADE"
        StrCpy $Downgrade 1
      ${ElseIf} $6 == "/NOCLOSE"
        StrCpy $NoClose 1
      ${ElseIf} $6 == "/ELEVATED"
        StrCpy $Marked 1
      ${ElseIf} $R0 == ""
      ${AndIf} $6 != "/NCRC"
        StrCpy $R0 $4
      ${EndIf}
      StrCpy $4 ""
    ${EndIf}
  ${Next}
  ${IfThen} $Scope != "" ${|} StrCpy $ScopeGiven 1 ${|}
FunctionEnd
Function .onInit
  InitPluginsDir
  File "/oname=$PLUGINSDIR\Quorvid.exe" "${STAGE}/Quorvid.exe"
  File "/oname=$PLUGINSDIR\helper.exe" "${HELPER}"
  StrCpy $Program "$PLUGINSDIR\Quorvid.exe"
  GetKnownFolderPath $UserPrograms {5CD7AEE2-2219-4A67-B85D-6C9CE15660CB} ; FOLDERID_UserProgramFiles
  ${IfThen} $UserPrograms == "" ${|} StrCpy $UserPrograms "$LOCALAPPDATA\Programs" ${|}
  StrCpy $DirGiven $INSTDIR ; /D= unquoted, which NSIS takes itself
  Call ReadParams
  ${If} $R0 != ""
    ${FAIL} 4 "Setup does not take $R0 (an unknown switch, or one that contradicts another). Its switches are /S, /STATION=folder, /AUTOSTART, /NOAUTOSTART, /ALLUSERS, /CURRENTUSER, /DOWNGRADE, /NOCLOSE and /D=folder. Nothing was changed."
  ${EndIf}
  UserInfo::GetAccountType
  Pop $0
  ${IfThen} $0 == Admin ${|} StrCpy $Admin 1 ${|}
  ${If} $Marked == 1
  ${AndIf} $Admin != 1
    ${FAIL} 1 "Installing for all users needs an administrator's approval, and Setup runs without it. Nothing was changed."
  ${EndIf}
  ; Neither given: as the system account (WinLocalSystemSid, as deployment tools run Setup) for all users;
  ; else as the user's own installation, else as all users', else for the user alone.
  System::Call 'advapi32::OpenProcessToken(p -1, i 8, *p .r0)'
  System::Call '*(&i256) p .r1'
  System::Call 'advapi32::GetTokenInformation(p r0, i 1, p r1, i 256, *i)'
  System::Call '*$1(p .r2)'
  System::Call 'advapi32::IsWellKnownSid(p r2, i 22) i .r3'
  System::Free $1
  System::Call 'kernel32::CloseHandle(p r0)'
  SetRegView 64
  ReadRegStr $1 HKLM "${UNINST_KEY}" "DisplayVersion"
  ReadRegStr $2 HKCU "${UNINST_KEY}" "DisplayVersion"
  ${IfThen} $1 != "" ${|} StrCpy $InstalledNote "Quorvid $1 is installed for all users." ${|}
  ${IfThen} $2 != "" ${|} StrCpy $InstalledNote "Quorvid $2 is installed for you. $InstalledNote" ${|}
  ${If} $Scope == ""
    StrCpy $Scope user
    ${IfThen} $1 != "" ${|} StrCpy $Scope all ${|}
    ${IfThen} $2 != "" ${|} StrCpy $Scope user ${|}
    ${IfThen} $3 <> 0 ${|} StrCpy $Scope all ${|}
  ${EndIf}
  Call ApplyScope
  StrCpy $CopyExample 1
  ${If} "$Scope$Admin$ScopeGiven" == all1
    Call InstallElevated
  ${EndIf}
FunctionEnd
