; What Setup and its uninstaller share: the log, the program's switches, failing with an exit code, the
; scope's registry view and shell folders, and the files of an installation.
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvid"
!define PROGRAM_FILES "Quorvid.exe README.txt config.ini.example uninstall.exe uninstall.dat"
Var Scope    ; user or all
Var Station  ; the station folder
Var LogFile  ; this run's log: its handle, or ""
Var Program  ; the program whose switches are run: Setup's own, in $PLUGINSDIR; else the installed one
Var NoClose  ; 1: /NOCLOSE, a running copy is refused rather than closed
Var Saved    ; the file where --exit-all listed the copies it closed, until --resume
Var ServiceRemoved ; the station whose service this run removed, until it runs again
; The program's switches run hidden (nsExec), their output to the log; exit code "error": not started.
; ${FAIL} CODE TEXT: logs and shows TEXT (unless silent), and ends this run with exit code CODE.
!macro FAIL UN CODE TEXT
  SetErrorLevel ${CODE}
  Push `${TEXT}`
  Call ${UN}Log
  MessageBox MB_OK|MB_ICONSTOP `${TEXT}` /SD IDOK
  Abort
!macroend
!define FAIL '!insertmacro FAIL ""'
!macro SHARED UN NAME
; Pop: a line for the details list and for this run's log, %TEMP%\Quorvid-setup-<process>-<time>.log (or
; -uninstall-): a name of its own, made new (CREATE_NEW), so that nothing planted there is written through.
Function ${UN}Log
  Exch $0
  ${If} $LogFile == ""
    System::Call 'kernel32::GetCurrentProcessId() i .R8'
    System::Call 'kernel32::GetTickCount() i .R9'
    System::Call 'kernel32::CreateFileW(w "$TEMP\Quorvid-${NAME}-$R8-$R9.log", i 0x40000000, i 1, p 0, i 1, i 0x80, p 0) p .s'
    Pop $LogFile
  ${EndIf}
  DetailPrint $0
  ${IfThen} $LogFile != -1 ${|} FileWrite $LogFile "$0$\r$\n" ${|}
  Pop $0
FunctionEnd
; Closes the copies of this user's that run from the program folder; $Saved keeps what starts them again.
; Exit code 2 where one runs and /NOCLOSE was given, or one did not close (the program has then started
; again those it had closed).
Function ${UN}CloseCopies
  ${If} $NoClose == 1
    nsExec::ExecToStack `"$Program" --list`
    Pop $0
    Pop $1
    ${WordFind} $1 "$INSTDIR\Quorvid.exe$\t" "E*" $2
    ${IfNot} ${Errors}
      !insertmacro FAIL "${UN}" 2 "Quorvid is running from $INSTDIR, and /NOCLOSE leaves it running. Nothing was changed."
    ${EndIf}
    Return
  ${EndIf}
  InitPluginsDir
  GetTempFileName $Saved $PLUGINSDIR
  nsExec::ExecToStack `"$Program" --exit-all "--program-folder=$INSTDIR" "--save=$Saved"`
  Pop $R0
  Call ${UN}Log
  ${If} $R0 != 0
    StrCpy $Saved ""
    !insertmacro FAIL "${UN}" 2 "Quorvid, running from $INSTDIR, did not close (exit code $R0). Close it from its window (Stop, then Close) and try again. Nothing was changed."
  ${EndIf}
FunctionEnd
; The service of the station folder $R0 ("": none) stopped and removed; $ServiceRemoved then names it.
Function ${UN}RemoveService
  ${IfThen} $R0 == "" ${|} Return ${|}
  StrCpy $1 $R0
  nsExec::ExecToStack `"$Program" --remove-service "--station=$R0"`
  Pop $R0
  Call ${UN}Log
  ${IfThen} $R0 == 0 ${|} StrCpy $ServiceRemoved $1 ${|}
  ${If} $R0 != 0
  ${AndIf} $R0 != 1
    !insertmacro FAIL "${UN}" 6 "The station's service could not be stopped (exit code $R0). Nothing was changed."
  ${EndIf}
FunctionEnd
; The service of the station folder $R0 installed and started by the program in the program folder.
Function ${UN}InstallService
  nsExec::ExecToStack `"$INSTDIR\Quorvid.exe" --install-service$Secured "--station=$R0"`
  Pop $R0
  Call ${UN}Log
FunctionEnd
; All users' entry lives in the registry's 64-bit view on 64-bit Windows, whichever package writes it:
; one entry for both. (32-bit Windows has one view.)
Function ${UN}UseScope
  SetRegView default
  SetShellVarContext current
  ${If} $Scope == all
    SetShellVarContext all
    SetRegView 64
  ${EndIf}
FunctionEnd
; $R0: a program folder. Takes away the files an installation put there, its shortcuts and its entry;
; a file still in use (another user's copy) goes at the next restart. Files of the user's stay.
Function ${UN}RemoveInstallation
  ${For} $1 1 5
    ${WordFind} "${PROGRAM_FILES}" " " "+$1" $2
    Delete /REBOOTOK "$R0\$2"
  ${Next}
  RMDir /REBOOTOK $R0
  Delete "$SMPROGRAMS\Quorvid.lnk"
  Delete "$SMSTARTUP\Quorvid.lnk"
  DeleteRegKey SHCTX "${UNINST_KEY}"
FunctionEnd
!macroend
