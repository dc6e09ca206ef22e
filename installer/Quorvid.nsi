; Quorvid's installer, one script for both targets. tools/package builds it with
;   makensis -DARCH=win32|win64 -DVERSION=x.y.z.w -DSTAGE=dir -DICON=file -DOUTFILE=file Quorvid.nsi
; where STAGE holds what a release carries: Quorvid.exe, README.txt and example-station\config.ini.
;
; Where it installs. Per user by default, with no administrator prompt: the program in
; %LOCALAPPDATA%\Programs\Quorvid, the uninstall entry in HKCU, the shortcuts in the user's own Start
; menu and Startup folder. For all users (the first page's choice, or /ALLUSERS): the program in Program
; Files (the 32-bit package: Program Files (x86)), the uninstall entry in HKLM, the shortcuts in the all
; users' Start menu and Startup folder, so that the log-on start fires for whoever logs on, not for the
; administrator who approved the prompt. The installer asks for administrator rights only then: it starts
; itself again elevated ("runas") and ends with that copy's exit code. MultiUser.nsh does not serve here:
; its scope page needs the whole installer elevated, which is the prompt a per-user installation must not
; show.
;
; One product, two packages: win32 and win64 share one uninstall entry (HKLM's 64-bit view on 64-bit
; Windows), one Start-menu and one Startup shortcut. An installation over another one keeps its station
; folder, log-on start, scope and program folder (unless the switches below say otherwise). Where the
; other package, the other scope or another program folder was used, its own uninstaller takes it away
; first. The same version again repairs; an older one asks first.
;
; The installer refuses a program folder that is the station folder, or that holds files it did not put
; there. The uninstaller removes only the installer's own files, shortcuts and entry: never the station
; folder or anything in it, nor a file of the user's beside the program.
;
; Silent use: setup.exe /S [/STATION=dir] [/AUTOSTART | /NOAUTOSTART] [/ALLUSERS | /CURRENTUSER]
;             [/DOWNGRADE] [/D=program folder]
;   /STATION      the station folder, the shortcuts' "Start in"; may be left out when updating an
;                 installation that has one already
;   /AUTOSTART    start the scripts at log-on (a Startup shortcut with --start); /NOAUTOSTART: do not.
;                 Neither: as the installation being updated had it, else not
;   /ALLUSERS     install for all users (asks for administrator rights where the caller has none);
;                 /CURRENTUSER: for the current user. Neither: as the installation being updated, else
;                 for the current user. Either one also skips the first page when not silent
;   /DOWNGRADE    replace a newer installed version without asking
;   /D            the program folder; last, and unquoted even with blanks (the installer's own rule)
; Exit codes: 0 installed; 1 cancelled, or administrator rights for all users refused; 2 Quorvid is
; running (from this or the installed program folder), no station folder is known, or the installed
; version could not be removed; 3 a newer version is installed (silent, without /DOWNGRADE); 4 the
; program folder is refused. Refused (1, 3, 4, and 2 but for an installed version that could not be
; removed), the installer has changed nothing.
; The uninstaller: uninstall.exe [/S]; exit code 0 removed, 1 cancelled, 2 Quorvid is running.

Unicode true
!if ${ARCH} == win64
  Target amd64-unicode
!else
  Target x86-unicode
!endif
; One block, and no file times: the same payload makes the same installer, byte for byte.
SetCompressor /SOLID lzma
SetDateSave off

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include Sections.nsh
!include nsDialogs.nsh
!include x64.nsh

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvid"
!define PUBLISHER "Quorvid Labs"
!define SEE_MASK_NOCLOSEPROCESS 0x40
!define ERROR_CANCELLED 1223
; SHELLEXECUTEINFO: the System plugin packs its fields, so a 64-bit build pads after each 32-bit one
; that a pointer follows.
!if ${NSIS_PTR_SIZE} > 4
  !define PAD ", i 0"
  !define PADTYPE ", i"
!else
  !define PAD ""
  !define PADTYPE ""
!endif

Name "Quorvid"
Caption "Quorvid ${VERSION} Setup"
OutFile "${OUTFILE}"
RequestExecutionLevel user
ManifestDPIAware true
BrandingText "Quorvid ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Quorvid"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "Quorvid Sharing Application Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2010 ${PUBLISHER}"

Var Station
Var StationKnown   ; 1: given or kept from the installed one, not a default
Var DirGiven       ; 1: /D= named the program folder
Var Scope          ; user or all
Var ScopeGiven     ; 1: /ALLUSERS or /CURRENTUSER
Var Admin          ; 1: this process may write for all users
Var UserPrograms   ; the per-user program folders' parent
Var Params
; The folder picker's prompt, one for each of the two folder pages.
Var BrowseText
Var ScopeUserButton
Var ScopeAllButton
; An uninstall entry as ReadEntry found it: where, the program folder, the package and the choices.
Var EntryPlace
Var EntryDir
Var EntryPackage
Var EntryVersion
Var EntryStation
Var EntryMenu
Var EntryStartup
; The first entry found: the installation being updated.
Var PrevPlace
Var PrevDir
Var PrevPackage
; RunAndWait's arguments and result.
Var RunVerb
Var RunFile
Var RunParams
Var RunCode

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

Page custom ScopePage ScopeLeave

!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup will install Quorvid in the folder below. It must be a new or empty folder, or the one Quorvid is installed in: Setup does not put its files among other files."
!define MUI_PAGE_CUSTOMFUNCTION_SHOW ProgramFolderShow
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE RefuseFolders
!insertmacro MUI_PAGE_DIRECTORY

!define MUI_PAGE_HEADER_TEXT "Station folder"
!define MUI_PAGE_HEADER_SUBTEXT "The folder Quorvid is started in."
!define MUI_DIRECTORYPAGE_TEXT_TOP "Quorvid reads config.ini and runs the scripts sbs1station.php and uploader.php from the folder it is started in. Choose the folder that holds them: Quorvid's shortcuts start it there. Nothing is written into this folder."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Station folder"
!define MUI_DIRECTORYPAGE_VARIABLE $Station
!define MUI_PAGE_CUSTOMFUNCTION_SHOW StationShow
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE StationLeave
!insertmacro MUI_PAGE_DIRECTORY

!define MUI_COMPONENTSPAGE_NODESC
!define MUI_COMPONENTSPAGE_TEXT_TOP "Quorvid gets a shortcut in the Start menu. It can also start with both scripts running whenever you log on."
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"
LangString ^DirBrowseText ${LANG_ENGLISH} "$BrowseText"

; Windows keeps a running program's file open: it can be renamed but not written. So a file that
; cannot be opened for writing means that Quorvid runs from there, and replacing or deleting it would
; fail half-way. Pop: the program's path. Asks the user to close it; silent or cancelled, ends with
; exit code 2 before anything has changed.
!macro DEFINE_CLOSE_PROGRAM UN
Function ${UN}CloseProgram
  Exch $R0
  Push $R1
  ${DoWhile} ${FileExists} $R0
    ClearErrors
    FileOpen $R1 $R0 a
    ${IfNot} ${Errors}
      FileClose $R1
      ${Break}
    ${EndIf}
    ${If} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Quorvid is running ($R0).$\r$\n$\r$\nClose it first: press Stop in its window, then Close. Then choose Retry." /SD IDCANCEL IDCANCEL`
      SetErrorLevel 2
      Abort "Quorvid is running: nothing was changed."
    ${EndIf}
  ${Loop}
  Pop $R1
  Pop $R0
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_PROGRAM ""
!insertmacro DEFINE_CLOSE_PROGRAM "un."

; Starts $RunFile with $RunParams through the shell, so that "runas", or a program whose manifest
; asks for administrator rights, gets its prompt; waits for it. $RunCode: its exit code, or "" when it
; did not start (the prompt refused: GetLastError gives ERROR_CANCELLED).
!macro DEFINE_RUN_AND_WAIT UN
Function ${UN}RunAndWait
  Push $0
  Push $1
  Push $2
  StrCpy $RunCode ""
  System::Call '*(&l4, i ${SEE_MASK_NOCLOSEPROCESS}, p $HWNDPARENT, w "$RunVerb", w "$RunFile", w "$RunParams", p 0, i ${SW_SHOWNORMAL}${PAD}, p 0, p 0, p 0, p 0, i 0${PAD}, p 0, p 0) p .r0'
  System::Call 'shell32::ShellExecuteExW(p r0) i .r1'
  ${If} $1 <> 0
    System::Call '*$0(i, i, p, p, p, p, p, i${PADTYPE}, p, p, p, p, i${PADTYPE}, p, p .r1)'
    System::Call 'kernel32::WaitForSingleObject(p r1, i -1)'
    System::Call 'kernel32::GetExitCodeProcess(p r1, *i .r2)'
    System::Call 'kernel32::CloseHandle(p r1)'
    StrCpy $RunCode $2
  ${EndIf}
  System::Free $0
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_RUN_AND_WAIT ""
!insertmacro DEFINE_RUN_AND_WAIT "un."

; The shell folders, SHCTX and the registry view of the scope. All users' entries live in the 64-bit
; view on 64-bit Windows, whichever package writes them: one entry for both. (32-bit Windows ignores
; the view.)
!macro DEFINE_USE_SCOPE UN
Function ${UN}UseScope
  SetRegView default
  ${If} $Scope == all
    SetShellVarContext all
    SetRegView 64
  ${Else}
    SetShellVarContext current
  ${EndIf}
FunctionEnd
!macroend
!insertmacro DEFINE_USE_SCOPE ""
!insertmacro DEFINE_USE_SCOPE "un."

!macro DEFINE_IS_ADMIN UN
Function ${UN}IsAdmin
  StrCpy $Admin ""
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == Admin
    StrCpy $Admin 1
  ${EndIf}
FunctionEnd
!macroend
!insertmacro DEFINE_IS_ADMIN ""
!insertmacro DEFINE_IS_ADMIN "un."

; Reads the uninstall entry at place $EntryPlace: 0 the user's (HKCU), 1 all users' (HKLM, the 64-bit
; view on 64-bit Windows), 2 HKLM's 32-bit view, where earlier 32-bit installers kept it.
; $EntryDir is "" where there is none. Leaves the scope's context as it was.
Function ReadEntry
  StrCpy $EntryDir ""
  Call SelectPlace
  ${If} ${Errors}
    Goto done
  ${EndIf}
  ReadRegStr $EntryDir SHCTX "${UNINST_KEY}" "InstallLocation"
  ReadRegStr $EntryPackage SHCTX "${UNINST_KEY}" "Package"
  ReadRegStr $EntryVersion SHCTX "${UNINST_KEY}" "DisplayVersion"
  ReadRegStr $EntryStation SHCTX "${UNINST_KEY}" "StationFolder"
  ReadRegStr $EntryMenu SHCTX "${UNINST_KEY}" "MenuShortcut"
  ReadRegStr $EntryStartup SHCTX "${UNINST_KEY}" "StartupShortcut"
  ; Earlier installers named neither: their Start-menu shortcut was all users', their package the view's.
  ${If} $EntryMenu == ""
    StrCpy $EntryMenu "$SMPROGRAMS\Quorvid.lnk"
  ${EndIf}
  ${If} $EntryPackage == ""
    StrCpy $EntryPackage win64
    ${If} $EntryPlace == 2
      StrCpy $EntryPackage win32
    ${EndIf}
  ${EndIf}
  done:
  Call UseScope
FunctionEnd

; SHCTX and the shell folders of place $EntryPlace; the error flag where this Windows has no such place.
Function SelectPlace
  ClearErrors
  SetShellVarContext all
  SetRegView 64
  ${If} $EntryPlace == 0
    SetShellVarContext current
  ${ElseIf} $EntryPlace == 2
    SetRegView 32
  ${EndIf}
  ${If} $EntryPlace == 2
  ${AndIfNot} ${RunningX64}
    SetErrors
  ${EndIf}
FunctionEnd

; $0 = where a package installs for a scope by default: $1 the scope, $2 the package.
Function DefaultDir
  ${If} $1 == user
    StrCpy $0 "$UserPrograms\Quorvid"
  ${ElseIf} $2 == win64
    StrCpy $0 "$PROGRAMFILES64\Quorvid"
  ${Else}
    StrCpy $0 "$PROGRAMFILES32\Quorvid"
  ${EndIf}
FunctionEnd

; Takes away the installation that ReadEntry found, through its own uninstaller, which keeps to its
; own files; run in place (_?=) so that it can be waited for. Without its uninstaller, its shortcuts and
; entry go. Fails with exit code 2 when the entry stays.
Function RemoveEntry
  Push $R1
  StrCpy $R1 $EntryDir
  ${If} ${FileExists} "$R1\uninstall.exe"
    StrCpy $RunVerb open
    StrCpy $RunFile "$R1\uninstall.exe"
    StrCpy $RunParams "/S _?=$R1"
    Call RunAndWait
  ${Else}
    Delete $EntryMenu
    Delete $EntryStartup
    Call SelectPlace
    DeleteRegKey SHCTX "${UNINST_KEY}"
  ${EndIf}
  Call ReadEntry
  ${If} $EntryDir != ""
    SetErrorLevel 2
    Abort "The installed Quorvid in $R1 could not be removed: this one was not installed."
  ${EndIf}
  ; Run in place, the uninstaller could not delete itself.
  Delete "$R1\uninstall.exe"
  RMDir "$R1"
  Pop $R1
FunctionEnd

; $R0 = why the program folder cannot be used, or "". An update's own folder holds the installer's
; files and whatever the user put beside them, which stays where it is.
Function FolderProblem
  Push $0
  Push $1
  StrCpy $R0 ""
  ${If} $INSTDIR == $Station
  ${OrIf} "$INSTDIR\example-station" == $Station
    StrCpy $R0 "The station folder is $Station: the program folder cannot be it or hold it. Setup's files would replace yours there, and uninstalling would remove them. Choose a folder of its own for the program."
  ${ElseIf} $INSTDIR != $PrevDir
    FindFirst $0 $1 "$INSTDIR\*"
    ${DoWhile} $1 != ""
      ${If} $1 != "."
      ${AndIf} $1 != ".."
        StrCpy $R0 "$INSTDIR already holds files that Setup did not put there ($1). Setup would replace them, and uninstalling would remove them. Choose a new or empty folder."
        ${Break}
      ${EndIf}
      FindNext $0 $1
    ${Loop}
    FindClose $0
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd

Function RefuseFolders
  Call FolderProblem
  ${If} $R0 != ""
    MessageBox MB_OK|MB_ICONSTOP $R0
    Abort
  ${EndIf}
FunctionEnd

Function ScopePage
  ${If} $ScopeGiven == 1
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "Install for" "Quorvid can be installed for you alone, or for everyone who uses this computer."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 20u "Quorvid needs no administrator rights to run. Choose who it is installed for:"
  Pop $0
  ${NSD_CreateRadioButton} 8u 24u -8u 12u "&Only for me (no administrator rights needed)"
  Pop $ScopeUserButton
  ${NSD_CreateLabel} 20u 37u -20u 24u "The program goes in $UserPrograms\Quorvid, its shortcuts in your own Start menu, and the log-on start fires when you log on."
  Pop $0
  ${NSD_CreateRadioButton} 8u 66u -8u 12u "For &all users of this computer (needs an administrator's approval)"
  Pop $ScopeAllButton
  ${NSD_CreateLabel} 20u 79u -20u 32u "The program goes in Program Files, its shortcuts in every user's Start menu, and the log-on start fires for whoever logs on to this computer."
  Pop $0
  ${If} $Scope == all
    ${NSD_Check} $ScopeAllButton
  ${Else}
    ${NSD_Check} $ScopeUserButton
  ${EndIf}
  ${NSD_OnClick} $ScopeUserButton ScopeClick
  ${NSD_OnClick} $ScopeAllButton ScopeClick
  Push 0
  Call ScopeClick
  nsDialogs::Show
FunctionEnd

; Next shows the shield where it leads to the administrator's prompt.
Function ScopeClick
  Pop $0
  ${NSD_GetState} $ScopeAllButton $0
  GetDlgItem $1 $HWNDPARENT 1
  ${If} $0 == ${BST_CHECKED}
  ${AndIf} $Admin != 1
    SendMessage $1 ${BCM_SETSHIELD} 0 1
  ${Else}
    SendMessage $1 ${BCM_SETSHIELD} 0 0
  ${EndIf}
FunctionEnd

Function ScopeLeave
  GetDlgItem $1 $HWNDPARENT 1
  SendMessage $1 ${BCM_SETSHIELD} 0 0
  ${NSD_GetState} $ScopeAllButton $0
  StrCpy $Scope user
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Scope all
    ${If} $Admin != 1
      Call InstallElevated
    ${EndIf}
  ${EndIf}
  Call ApplyScope
FunctionEnd

Function ProgramFolderShow
  StrCpy $BrowseText "Select the folder to install Quorvid in:"
FunctionEnd

; The page serves a folder that already holds its files: space figures would mean nothing there.
Function StationShow
  StrCpy $BrowseText "Select the station folder, the one with config.ini and the scripts:"
  FindWindow $R0 "#32770" "" $HWNDPARENT
  GetDlgItem $R1 $R0 1023
  ShowWindow $R1 ${SW_HIDE}
  GetDlgItem $R1 $R0 1024
  ShowWindow $R1 ${SW_HIDE}
FunctionEnd

; A folder without its files, or a machine without php.exe, is worth a warning, not a refusal: the
; station may be put together after the installation.
Function StationLeave
  Call RefuseFolders
  StrCpy $R0 ""
  ${IfNot} ${FileExists} "$Station\config.ini"
    StrCpy $R0 "$R0$\r$\n    config.ini"
  ${EndIf}
  ${IfNot} ${FileExists} "$Station\sbs1station.php"
    StrCpy $R0 "$R0$\r$\n    sbs1station.php"
  ${EndIf}
  ${IfNot} ${FileExists} "$Station\uploader.php"
    StrCpy $R0 "$R0$\r$\n    uploader.php"
  ${EndIf}
  ${If} $R0 != ""
    StrCpy $R0 "$Station lacks:$R0$\r$\n"
  ${EndIf}
  ; Where the scripts' "php" is looked for: the station folder, being the current one, or the search path.
  ClearErrors
  SearchPath $R1 "php.exe"
  ${If} ${Errors}
  ${AndIfNot} ${FileExists} "$Station\php.exe"
    StrCpy $R0 "$R0$\r$\nphp.exe is not on the search path (PATH): the scripts cannot start without it.$\r$\n"
  ${EndIf}
  ${If} $R0 != ""
    ${IfNot} ${Cmd} `MessageBox MB_YESNO|MB_ICONEXCLAMATION "$R0$\r$\nUse this folder all the same?" IDYES`
      Abort
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Quorvid" SecProgram
  SectionIn RO
  ; Everything that can refuse comes before the first change.
  Call FolderProblem
  ${If} $R0 != ""
    SetErrorLevel 4
    Abort "$R0$\r$\nNothing was changed."
  ${EndIf}
  Push "$INSTDIR\Quorvid.exe"
  Call CloseProgram
  ${For} $EntryPlace 0 2
    Call ReadEntry
    ${If} $EntryDir != ""
      Push "$EntryDir\Quorvid.exe"
      Call CloseProgram
    ${EndIf}
  ${Next}

  ; An update in place keeps the entry and replaces the shortcuts; any other installation goes.
  ${For} $EntryPlace 0 2
    Call ReadEntry
    ${If} $EntryDir == ""
      ${Continue}
    ${EndIf}
    StrCpy $0 0
    ${If} $Scope == all
      StrCpy $0 1
    ${EndIf}
    ${If} $EntryDir == $INSTDIR
    ${AndIf} $EntryPackage == ${ARCH}
    ${AndIf} $EntryPlace == $0
      Delete $EntryMenu
      Delete $EntryStartup
      DeleteRegValue SHCTX "${UNINST_KEY}" "StartupShortcut"
    ${Else}
      Call RemoveEntry
    ${EndIf}
  ${Next}

  SetOutPath "$INSTDIR"
  File "${STAGE}/Quorvid.exe"
  File "${STAGE}/README.txt"
  SetOutPath "$INSTDIR\example-station"
  File "${STAGE}/example-station/config.ini"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; A shortcut's "Start in" is the output folder; setting it by hand leaves the station folder as it is.
  StrCpy $OUTDIR $Station
  CreateShortcut "$SMPROGRAMS\Quorvid.lnk" "$INSTDIR\Quorvid.exe" "" "" "" SW_SHOWNORMAL "" \
    "Quorvid Sharing Application in $Station"

  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayName" "Quorvid Sharing Application"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Quorvid.exe,0"
  WriteRegStr SHCTX "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoRepair" 1
  WriteRegStr SHCTX "${UNINST_KEY}" "StationFolder" $Station
  WriteRegStr SHCTX "${UNINST_KEY}" "Package" ${ARCH}
  WriteRegStr SHCTX "${UNINST_KEY}" "MenuShortcut" "$SMPROGRAMS\Quorvid.lnk"
  ${GetSize} "$INSTDIR" "/S=0K" $R0 $R1 $R2
  WriteRegDWORD SHCTX "${UNINST_KEY}" "EstimatedSize" $R0
SectionEnd

Section /o "Start the scripts when I log on" SecAutostart
  StrCpy $OUTDIR $Station
  CreateShortcut "$SMSTARTUP\Quorvid.lnk" "$INSTDIR\Quorvid.exe" "--start" "" "" SW_SHOWNORMAL "" \
    "Quorvid Sharing Application in $Station, scripts started"
  WriteRegStr SHCTX "${UNINST_KEY}" "StartupShortcut" "$SMSTARTUP\Quorvid.lnk"
SectionEnd

; Sets what follows from the scope: the shell folders and, unless given or kept, the program folder and
; the station folder. A program folder of the installed package's own default moves to this package's
; default for the scope; one the user chose stays.
Function ApplyScope
  Call UseScope
  ${If} $DirGiven != 1
    StrCpy $1 all
    ${If} $PrevPlace == 0
      StrCpy $1 user
    ${EndIf}
    StrCpy $2 $PrevPackage
    Call DefaultDir
    ${If} $PrevDir != ""
    ${AndIf} $PrevDir != $0
      StrCpy $INSTDIR $PrevDir
    ${Else}
      StrCpy $1 $Scope
      StrCpy $2 ${ARCH}
      Call DefaultDir
      StrCpy $INSTDIR $0
    ${EndIf}
  ${EndIf}
  ${If} $Scope == all
    SectionSetText ${SecAutostart} "Start the scripts when anyone logs on"
  ${Else}
    SectionSetText ${SecAutostart} "Start the scripts when I log on"
  ${EndIf}
  ; All users' documents are the Public ones: a station shared by everyone who logs on.
  ${If} $StationKnown != 1
    StrCpy $Station "$DOCUMENTS\Quorvid station"
  ${EndIf}
FunctionEnd

; Starts this installer again with administrator rights to install for all users, passing on what is
; known, and ends with its exit code. A per-user installation that the elevated copy could not see
; (it may run as another user) is then taken away here. Refused: exit code 1, or back to the page.
Function InstallElevated
  StrCpy $RunParams "/ALLUSERS /DOWNGRADE"
  ${If} ${SectionIsSelected} ${SecAutostart}
    StrCpy $RunParams "$RunParams /AUTOSTART"
  ${Else}
    StrCpy $RunParams "$RunParams /NOAUTOSTART"
  ${EndIf}
  ${If} $StationKnown == 1
    StrCpy $RunParams "$RunParams /STATION=$Station"
  ${EndIf}
  StrCpy $RunParams "$RunParams $Params"
  StrCpy $RunVerb runas
  StrCpy $RunFile $EXEPATH
  HideWindow
  Call RunAndWait
  ${If} $RunCode == ""
    BringToFront
    MessageBox MB_OK|MB_ICONEXCLAMATION "Installing for all users needs an administrator's approval, which was not given." /SD IDOK
    ; Back to the page that offers the other choice, where there is one.
    ${If} $ScopeGiven != 1
      Abort
    ${EndIf}
    StrCpy $RunCode 1
  ${EndIf}
  ${If} $RunCode == 0
    StrCpy $EntryPlace 0
    Call ReadEntry
    ${If} $EntryDir != ""
      Call RemoveEntry
    ${EndIf}
  ${EndIf}
  SetErrorLevel $RunCode
  Quit
FunctionEnd

; Options first, then what the installed one knew: an update may leave them out.
Function .onInit
  ${If} $INSTDIR != ""
    StrCpy $DirGiven 1
  ${EndIf}
  ${GetParameters} $Params
  Call IsAdmin
  SetShellVarContext current
  GetKnownFolderPath $UserPrograms {5CD7AEE2-2219-4A67-B85D-6C9CE15660CB} ; FOLDERID_UserProgramFiles
  ${If} $UserPrograms == ""
    StrCpy $UserPrograms "$LOCALAPPDATA\Programs"
  ${EndIf}

  StrCpy $Scope user
  StrCpy $PrevPlace ""
  ${For} $EntryPlace 0 2
    Call ReadEntry
    ${If} $EntryDir != ""
      StrCpy $PrevPlace $EntryPlace
      ${Break}
    ${EndIf}
  ${Next}
  ${If} $PrevPlace != ""
    StrCpy $PrevDir $EntryDir
    StrCpy $PrevPackage $EntryPackage
    ${If} $PrevPlace != 0
      StrCpy $Scope all
    ${EndIf}
    StrCpy $Station $EntryStation
    ${If} $EntryStartup != ""
      !insertmacro SelectSection ${SecAutostart}
    ${EndIf}
    ${VersionCompare} ${VERSION} $EntryVersion $0
    ClearErrors
    ${GetOptions} $Params "/DOWNGRADE" $1
    ${If} $0 == 2
    ${AndIf} ${Errors}
      ${IfNot} ${Cmd} `MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "Quorvid $EntryVersion is installed, a newer version than this one (${VERSION}).$\r$\n$\r$\nReplace it with the older version?" /SD IDNO IDYES`
        SetErrorLevel 3
        Quit
      ${EndIf}
    ${EndIf}
  ${EndIf}

  ClearErrors
  ${GetOptions} $Params "/STATION=" $0
  ${IfNot} ${Errors}
    StrCpy $Station $0
  ${EndIf}
  ; A trailing backslash would make the same folder compare unequal.
  StrCpy $0 $Station "" -1
  ${If} $0 == "\"
    StrCpy $Station $Station -1
  ${EndIf}
  ${If} $Station != ""
    StrCpy $StationKnown 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $Params "/AUTOSTART" $0
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecAutostart}
  ${EndIf}
  ClearErrors
  ${GetOptions} $Params "/NOAUTOSTART" $0
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SecAutostart}
  ${EndIf}
  ClearErrors
  ${GetOptions} $Params "/CURRENTUSER" $0
  ${IfNot} ${Errors}
    StrCpy $Scope user
    StrCpy $ScopeGiven 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $Params "/ALLUSERS" $0
  ${IfNot} ${Errors}
    StrCpy $Scope all
    StrCpy $ScopeGiven 1
  ${EndIf}

  ${If} ${Silent}
    ${If} $StationKnown != 1
      SetErrorLevel 2
      Quit
    ${EndIf}
    ${If} $Scope == all
    ${AndIf} $Admin != 1
      Call InstallElevated
    ${EndIf}
  ${EndIf}
  Call ApplyScope
  ; Interactive, a given all-users scope skips the page that would ask for the rights.
  ${IfNot} ${Silent}
  ${AndIf} $ScopeGiven == 1
  ${AndIf} $Scope == all
  ${AndIf} $Admin != 1
    Call InstallElevated
  ${EndIf}
FunctionEnd

; An all-users installation is taken away with administrator rights: the uninstaller starts itself again
; with them and ends with that copy's exit code.
Function un.onInit
  Call un.IsAdmin
  StrCpy $Scope user
  SetShellVarContext all
  SetRegView 64
  ReadRegStr $0 SHCTX "${UNINST_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    StrCpy $Scope all
    ${If} $Admin != 1
      ${GetParameters} $RunParams
      StrCpy $RunParams "$RunParams _?=$INSTDIR"
      StrCpy $RunVerb runas
      StrCpy $RunFile $EXEPATH
      Call un.RunAndWait
      ${If} $RunCode == ""
        MessageBox MB_OK|MB_ICONEXCLAMATION "Quorvid is installed for all users: removing it needs an administrator's approval." /SD IDOK
        StrCpy $RunCode 1
      ${EndIf}
      SetErrorLevel $RunCode
      Quit
    ${EndIf}
  ${EndIf}
  Call un.UseScope
FunctionEnd

; Takes away what the installer put in place, and its entry only where the entry is this folder's. The
; station folder is the user's and stays as it is; so do the user's files beside the program.
Section "Uninstall"
  Push "$INSTDIR\Quorvid.exe"
  Call un.CloseProgram
  ReadRegStr $0 SHCTX "${UNINST_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    ReadRegStr $0 SHCTX "${UNINST_KEY}" "MenuShortcut"
    Delete $0
    ReadRegStr $0 SHCTX "${UNINST_KEY}" "StartupShortcut"
    Delete $0
    DeleteRegKey SHCTX "${UNINST_KEY}"
  ${EndIf}
  Delete "$INSTDIR\Quorvid.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\example-station\config.ini"
  RMDir "$INSTDIR\example-station"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
