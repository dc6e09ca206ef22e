; The uninstaller, NSIS's own, run by uninstall.exe (helper.c) from a copy of its own on the program
; folder ("_?="), elevated already where the installation is all users'. Its exit codes are the README's.
Function un.onInit
  StrCpy $Program "$INSTDIR\Quorvid.exe"
  ${GetParameters} $0
  ${GetOptions} $0 "/NOCLOSE" $1
  ${IfNotThen} ${Errors} ${|} StrCpy $NoClose 1 ${|}
  StrCpy $Scope all
  Call un.UseScope
  ReadRegStr $0 SHCTX "${UNINST_KEY}" "InstallLocation"
  ${If} $0 != $INSTDIR
    StrCpy $Scope user
    Call un.UseScope
  ${Else}
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != Admin
      !insertmacro FAIL un. 1 "Quorvid is installed for all users: removing it needs an administrator's approval."
    ${EndIf}
  ${EndIf}
  ReadRegStr $Station SHCTX "${UNINST_KEY}" "StationFolder"
FunctionEnd
Function un.onUninstFailed
  StrCpy $R0 $ServiceRemoved
  ${IfThen} $R0 != "" ${|} Call un.InstallService ${|}
FunctionEnd
; The service first, then the copies (--exit-all starts again those it closed where one does not close),
; then the files. The station folder stays as it is, and so do the user's files beside the program.
Section "Uninstall"
  ${If} $Scope == all
    StrCpy $R0 $Station
    Call un.RemoveService
  ${EndIf}
  Call un.CloseCopies
  StrCpy $R0 $INSTDIR
  Call un.RemoveInstallation
  Push "Removed Quorvid from $INSTDIR; the station folder $Station stays as it is."
  Call un.Log
SectionEnd
