; Quorvid's installer, one script for both targets. tools/package builds it with
;   makensis -DARCH=win32|win64 -DVERSION=x.y.z.w -DSTAGE=dir -DICON=file -DOUTFILE=file Quorvid.nsi
; where STAGE holds what a release carries: Quorvid.exe, README.txt and example-station\config.ini.
;
; Silent use: setup.exe /S [/STATION=dir] [/AUTOSTART] [/D=program folder]
;   /STATION    the station folder, the shortcuts' "Start in"; may be left out when updating an
;               installation that has one already
;   /AUTOSTART  also start the scripts at log-on (a Startup shortcut with --start)
;   /D          the program folder; last, and unquoted even with blanks (the installer's own rule)
; Exit code 0 when installed; 2 when Quorvid is running from the program folder, or no station folder
; is known.

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
!include Sections.nsh

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvid"
!define PUBLISHER "Quorvid Labs"

Name "Quorvid"
Caption "Quorvid ${VERSION} Setup"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
BrandingText "Quorvid ${VERSION}"
!if ${ARCH} == win64
  InstallDir "$PROGRAMFILES64\Quorvid"
!else
  InstallDir "$PROGRAMFILES\Quorvid"
!endif
; An update goes where the installed program is.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Quorvid"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "Quorvid Sharing Application Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2010 ${PUBLISHER}"

Var Station
; The folder picker's prompt, one for each of the two folder pages.
Var BrowseText

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!define MUI_PAGE_CUSTOMFUNCTION_SHOW ProgramFolderShow
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

; What the installer puts into a program folder, taken away again: by the uninstaller, and by an update
; into another folder from the old one. The folder goes only if nothing else is left in it.
!macro REMOVE_PROGRAM_FILES DIR
  Delete "${DIR}\Quorvid.exe"
  Delete "${DIR}\README.txt"
  Delete "${DIR}\example-station\config.ini"
  RMDir "${DIR}\example-station"
  Delete "${DIR}\uninstall.exe"
  RMDir "${DIR}"
!macroend

; The shortcuts of an earlier installation: the Start-menu one is for all users; the Startup one went
; to whoever installed, and the registry says where.
!macro REMOVE_SHORTCUTS
  SetShellVarContext all
  Delete "$SMPROGRAMS\Quorvid.lnk"
  SetShellVarContext current
  ReadRegStr $R0 HKLM "${UNINST_KEY}" "StartupShortcut"
  ${If} $R0 != ""
    Delete $R0
  ${EndIf}
!macroend

!macro USE_REGISTRY_VIEW
  !if ${ARCH} == win64
    SetRegView 64
  !endif
!macroend

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
  Push "$INSTDIR\Quorvid.exe"
  Call CloseProgram
  ReadRegStr $R2 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $R2 != ""
  ${AndIf} $R2 != $INSTDIR
    Push "$R2\Quorvid.exe"
    Call CloseProgram
    !insertmacro REMOVE_PROGRAM_FILES $R2
  ${EndIf}
  !insertmacro REMOVE_SHORTCUTS
  DeleteRegValue HKLM "${UNINST_KEY}" "StartupShortcut"

  SetOutPath "$INSTDIR"
  File "${STAGE}/Quorvid.exe"
  File "${STAGE}/README.txt"
  SetOutPath "$INSTDIR\example-station"
  File "${STAGE}/example-station/config.ini"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; A shortcut's "Start in" is the output folder; setting it by hand leaves the station folder as it is.
  StrCpy $OUTDIR $Station
  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\Quorvid.lnk" "$INSTDIR\Quorvid.exe" "" "" "" SW_SHOWNORMAL "" \
    "Quorvid Sharing Application in $Station"
  SetShellVarContext current

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "Quorvid Sharing Application"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Quorvid.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  WriteRegStr HKLM "${UNINST_KEY}" "StationFolder" $Station
  ${GetSize} "$INSTDIR" "/S=0K" $R0 $R1 $R2
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $R0
SectionEnd

Section /o "Start the scripts when I log on" SecAutostart
  StrCpy $OUTDIR $Station
  CreateShortcut "$SMSTARTUP\Quorvid.lnk" "$INSTDIR\Quorvid.exe" "--start" "" "" SW_SHOWNORMAL "" \
    "Quorvid Sharing Application in $Station, scripts started"
  WriteRegStr HKLM "${UNINST_KEY}" "StartupShortcut" "$SMSTARTUP\Quorvid.lnk"
SectionEnd

; Options first, then what the last installation knew: an update may leave them out.
Function .onInit
  !insertmacro USE_REGISTRY_VIEW
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/STATION=" $Station
  ${If} ${Errors}
    ReadRegStr $Station HKLM "${UNINST_KEY}" "StationFolder"
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/AUTOSTART" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecAutostart}
  ${EndIf}
  ${If} $Station == ""
    ${If} ${Silent}
      SetErrorLevel 2
      Quit
    ${EndIf}
    StrCpy $Station "$DOCUMENTS\Quorvid station"
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro USE_REGISTRY_VIEW
FunctionEnd

; Takes away what the installer put in place. The station folder is the user's and stays as it is.
Section "Uninstall"
  Push "$INSTDIR\Quorvid.exe"
  Call un.CloseProgram
  !insertmacro REMOVE_SHORTCUTS
  DeleteRegKey HKLM "${UNINST_KEY}"
  !insertmacro REMOVE_PROGRAM_FILES $INSTDIR
SectionEnd
