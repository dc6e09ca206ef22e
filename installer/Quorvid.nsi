; Quorvid's installer, one script for both targets. tools/package builds it with
;   makensis -DARCH=win32|win64 -DVERSION=x.y.z.w -DSTAGE=dir -DICON=file -DOUTFILE=file
;            -DEXAMPLE_SHA256=hex Quorvid.nsi
; where STAGE holds what a release carries: Quorvid.exe, README.txt and config.ini.example, whose
; SHA-256 EXAMPLE_SHA256 is.
;
; Where it installs. Per user by default, with no administrator prompt: the program in
; %LOCALAPPDATA%\Programs\Quorvid, the uninstall entry in HKCU, the shortcuts in the user's own Start
; menu and Startup folder. For all users (the first page's choice, or /ALLUSERS): the program in Program
; Files (the 32-bit package: Program Files (x86)), the uninstall entry in HKLM, the shortcuts in the all
; users' Start menu and Startup folder, so that Quorvid starts for whoever logs on, not for the
; administrator who approved the prompt. The installer asks for administrator rights only then: it starts
; itself again elevated ("runas", marked /ELEVATED) and ends with that copy's exit code. MultiUser.nsh
; does not serve here: its scope page needs the whole installer elevated, which is the prompt a per-user
; installation must not show.
;
; What an elevated copy trusts. HKCU and the folders named there are the user's to change, so any
; program the user runs could point them elsewhere. A copy with administrator rights that installs for
; all users never runs, deletes or installs into anything HKCU names: the user's own installation is
; taken away by the unelevated Setup that started it, after it returned, and left as it is (and logged)
; where Setup ran elevated from the start.
;
; One product, two packages: win32 and win64 share one uninstall entry (HKLM's 64-bit view on 64-bit
; Windows), one Start-menu and one Startup shortcut. An installation over another one keeps its station
; folder, log-on start, scope and program folder (unless the switches below say otherwise). Where the
; other package, the other scope or another program folder was used, its own uninstaller takes it away
; first. The same version again repairs; an older one asks first.
;
; The installer refuses a program folder that is the station folder, lies in it or holds it, and one
; where a file of the user's has the name of one of its own files. It never replaces or removes a file it
; did not install: the user's files may stay beside the program. The uninstaller removes only the
; installer's own files, shortcuts and entry, and the example config.ini.example only while it is as
; Setup put it there. The station folder is made where it is missing, and given a copy of the example
; config.ini where it has none (asked, when not silent); nothing in it is ever replaced or removed.
;
; Silent use: setup.exe /S [/STATION=dir] [/AUTOSTART | /NOAUTOSTART] [/ALLUSERS | /CURRENTUSER]
;             [/DOWNGRADE] [/D=program folder]
;   /STATION      the station folder, the shortcuts' "Start in"; left out, the installed one's, else
;                 Documents\Quorvid station. /STATION="C:\a b" and "/STATION=C:\a b" both serve
;   /AUTOSTART    start Quorvid with its scripts at log-on (a Startup shortcut with --start);
;                 /NOAUTOSTART: do not. Neither: as the installation being updated had it, else not
;   /ALLUSERS     install for all users (asks for administrator rights where the caller has none);
;                 /CURRENTUSER: for the current user. Neither: as the installation being updated, else
;                 for the current user. Either one also skips the first page when not silent
;   /DOWNGRADE    replace a newer installed version without asking
;   /D            the program folder; last, and unquoted even with blanks (the installer's own rule)
; Exit codes: 0 installed; 1 cancelled, or administrator rights for all users refused or missing;
; 2 Quorvid is running (from this or the installed program folder), or the installed version could not
; be removed; 3 a newer version is installed (silent, without /DOWNGRADE); 4 the program folder is
; refused. Refused (1, 3, 4, and 2 but for an installed version that could not be removed), the
; installer has changed nothing. What it did and left alone goes to %TEMP%\Quorvid-setup.log too.
;
; The uninstaller, uninstall.exe [/S], is Setup itself under that name: it runs the uninstaller proper
; from a folder of its own and waits for it. Exit code 0 removed, 1 cancelled or administrator rights
; missing, 2 Quorvid is running (nothing removed).

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
!include nsDialogs.nsh
!include x64.nsh

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvid"
!define PUBLISHER "Quorvid Labs"
!define SEE_MASK_NOCLOSEPROCESS 0x40
!define ERROR_CANCELLED 1223
!define FILE_TYPE_DISK 1
; Between an elevated copy and the unelevated Setup that waits for it: installed, and "Start Quorvid now"
; was ticked. The waiting Setup starts it with the user's own rights and ends with 0.
!define START_AFTER 10
!define LOG_FILE "$TEMP\Quorvid-setup.log"
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
Var Marked         ; 1: started elevated by an unelevated Setup (/ELEVATED), which waits for it
Var UserPrograms   ; the per-user program folders' parent
Var Params         ; the command line's switches, each in the form GetOptions reads
Var Autostart      ; 1: a Startup shortcut with --start
Var CopyExample    ; 1: give a station folder without config.ini a copy of the example
Var UpdateNote     ; what the first page says of an installed version
Var InPlace        ; 1: the program folder is the installation being updated
Var NoClose        ; 1: /NOCLOSE, a running copy is refused rather than closed
Var Asked          ; 1: the first page asked about running copies already
Var Lister         ; the program that answers --list and --exit
Var ListOut        ; its --list output, read once a search
Var Running        ; copies of the installed program found running (see FindRunning)
Var Closed         ; copies closed, to be started again after the update
Var Lines          ; RunningLine's list
; The folder picker's prompt, one for each of the two folder pages.
Var BrowseText
Var ScopeUserButton
Var ScopeAllButton
Var AutostartBox
Var ExampleBox
; An uninstall entry as ReadEntry found it: where, the program folder, the package and the choices.
Var EntryPlace
Var EntryDir
Var EntryPackage
Var EntryVersion
Var EntryStation
Var EntryMenu
Var EntryStartup
Var EntryExampleHash
; The first entry found: the installation being updated.
Var PrevPlace
Var PrevDir
Var PrevPackage
Var PrevExampleHash
; RunAndWait's arguments and result.
Var RunVerb
Var RunFile
Var RunParams
Var RunCode

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_CUSTOMFUNCTION_ABORT OnAbort

Page custom ScopePage ScopeLeave

!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup installs Quorvid's program in the folder below. It never replaces or removes a file it did not put there, so the folder may hold files of yours. It must not be the station folder, lie inside it or hold it."
!define MUI_PAGE_CUSTOMFUNCTION_SHOW ProgramFolderShow
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE ProgramFolderLeave
!insertmacro MUI_PAGE_DIRECTORY

!define MUI_PAGE_HEADER_TEXT "Station folder"
!define MUI_PAGE_HEADER_SUBTEXT "The folder Quorvid runs in."
!define MUI_DIRECTORYPAGE_TEXT_TOP "The station folder holds config.ini, the station's settings, and its two PHP scripts, sbs1station.php and uploader.php. php.exe may be there too, or on the search path (PATH). Quorvid's shortcuts start it in this folder; Setup creates the folder if it does not exist."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Station folder"
!define MUI_DIRECTORYPAGE_VARIABLE $Station
!define MUI_PAGE_CUSTOMFUNCTION_SHOW StationShow
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE StationLeave
!insertmacro MUI_PAGE_DIRECTORY

Page custom OptionsPage OptionsLeave
!insertmacro MUI_PAGE_INSTFILES

!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Quorvid now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartNow
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "Quorvid's program, shortcuts and entry in the list of installed programs will be removed. The station folder stays as it is, and so do the files you added to the folder below, and config.ini.example if you changed it."
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.AskToClose
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

; Pop: a file. $R0 = its SHA-256 in lower-case hex, or "" where it cannot be read.
!macro DEFINE_FILE_HASH UN
Function ${UN}FileHash
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  Push $7
  StrCpy $R0 ""
  System::Call 'kernel32::CreateFileW(w r0, i 0x80000000, i 1, p 0, i 3, i 0, p 0) p .r1'
  ${If} $1 != -1
    System::Call 'kernel32::GetFileSize(p r1, p 0) i .r2'
    IntOp $3 $2 + 1
    System::Alloc $3
    Pop $3
    System::Call 'kernel32::ReadFile(p r1, p r3, i r2, *i 0 r4, p 0) i .r5'
    System::Call 'kernel32::CloseHandle(p r1)'
    ; PROV_RSA_AES, CRYPT_VERIFYCONTEXT; CALG_SHA_256; HP_HASHVAL
    System::Call 'advapi32::CryptAcquireContextW(*p 0 r1, p 0, p 0, i 24, i 0xF0000000) i .r5'
    ${If} $5 <> 0
      System::Call 'advapi32::CryptCreateHash(p r1, i 0x800C, p 0, i 0, *p 0 r6) i .r5'
      ${If} $5 <> 0
        System::Call 'advapi32::CryptHashData(p r6, p r3, i r4, i 0)'
        System::Alloc 32
        Pop $7
        System::Call 'advapi32::CryptGetHashParam(p r6, i 2, p r7, *i 32, i 0) i .r5'
        ${If} $5 <> 0
          ${For} $5 0 31
            IntPtrOp $2 $7 + $5
            System::Call '*$2(&i1 .r4)'
            IntOp $4 $4 & 0xFF
            IntFmt $4 "%02x" $4
            StrCpy $R0 "$R0$4"
          ${Next}
        ${EndIf}
        System::Free $7
        System::Call 'advapi32::CryptDestroyHash(p r6)'
      ${EndIf}
      System::Call 'advapi32::CryptReleaseContext(p r1, i 0)'
    ${EndIf}
    System::Free $3
  ${EndIf}
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Pop: a copy of the example config. $R0 = "" where there is none, 1 where it is as Setup installed
; it (this version's or the one the entry names, $PrevExampleHash), 0 where the user changed it.
Function ${UN}ExampleState
  Exch $R1
  StrCpy $R0 ""
  ${If} ${FileExists} $R1
    Push $R1
    Call ${UN}FileHash
    ${If} $R0 == "${EXAMPLE_SHA256}"
    ${OrIf} $R0 == $PrevExampleHash
      StrCpy $R0 1
    ${Else}
      StrCpy $R0 0
    ${EndIf}
  ${EndIf}
  Pop $R1
FunctionEnd
!macroend
!insertmacro DEFINE_FILE_HASH ""
!insertmacro DEFINE_FILE_HASH "un."

; Pop: a line for the details list and for the log of this run, which silent use can read.
!macro DEFINE_LOG UN
Function ${UN}Log
  Exch $0
  Push $1
  DetailPrint $0
  ClearErrors
  FileOpen $1 "${LOG_FILE}" a
  ${IfNot} ${Errors}
    FileSeek $1 0 END
    FileWrite $1 "$0$\r$\n"
    FileClose $1
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_LOG ""
!insertmacro DEFINE_LOG "un."

; --- Running copies of the installed program: closed through the program's own --exit before an update
; or removal, and, after an update, started again where they ran. $Lister is a program that answers
; --list and --exit (Setup: this version's, unpacked into $PLUGINSDIR; the uninstaller: the installed
; one). A copy too old to answer is found by its open file instead (CloseProgram), as before.

; $Running += every copy that --list reports from the program folder on the stack (pop), one a line:
; running|idle TAB station folder TAB program.
!macro DEFINE_RUNNING UN
Function ${UN}FindRunning
  Exch $R1
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  Push $R6
  Push $R7
  ${If} $ListOut == ""
    nsExec::ExecToStack '"$Lister" --list'
    Pop $R2
    Pop $ListOut
    ${If} $R2 != 0
      StrCpy $ListOut "$\n"
    ${EndIf}
  ${EndIf}
  ; One line at a time: $R3 the position, $R4 the field number, $R5.. the fields.
  StrCpy $R3 0
  StrCpy $R4 1
  StrCpy $R5 ""
  StrCpy $R6 ""
  StrCpy $R7 ""
  ${Do}
    StrCpy $R2 $ListOut 1 $R3
    IntOp $R3 $R3 + 1
    ${If} $R2 == "$\t"
      IntOp $R4 $R4 + 1
    ${ElseIf} $R2 == "$\n"
    ${OrIf} $R2 == ""
      ; pid, state, program, station: the program's folder decides.
      ${GetParent} $R6 $R2
      ${If} $R2 == $R1
      ${AndIf} $R1 != ""
        ; Once, though two entries name the folder.
        ${WordFind} "$Running" "$R5$\t$R7$\t$R6$\n" "E*" $R2
        ${If} ${Errors}
          StrCpy $Running "$Running$R5$\t$R7$\t$R6$\n"
        ${EndIf}
      ${EndIf}
      StrCpy $R2 $ListOut 1 $R3
      ${If} $R2 == ""
        ${ExitDo}
      ${EndIf}
      StrCpy $R4 1
      StrCpy $R5 ""
      StrCpy $R6 ""
      StrCpy $R7 ""
    ${ElseIf} $R2 != "$\r"
      ${If} $R4 == 2
        StrCpy $R5 "$R5$R2"
      ${ElseIf} $R4 == 3
        StrCpy $R6 "$R6$R2"
      ${ElseIf} $R4 == 4
        StrCpy $R7 "$R7$R2"
      ${EndIf}
    ${EndIf}
  ${Loop}
  Pop $R7
  Pop $R6
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
FunctionEnd

; $R0 = the station folders of $Running, one an indented line, for a message.
Function ${UN}RunningText
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  StrCpy $R0 ""
  StrCpy $R1 0
  ${Do}
    StrCpy $Lines $Running
    Push $R1
    Call ${UN}RunningLine
    ${If} $R2 == ""
      ${ExitDo}
    ${EndIf}
    StrCpy $R0 "$R0$\r$\n    $R3"
    IntOp $R1 $R1 + 1
  ${Loop}
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
FunctionEnd

; Pop: N. $R2, $R3, $R4 = the state, station folder and program of line N of $Lines ($R2 "": none).
Function ${UN}RunningLine
  Exch $R5
  Push $R6
  Push $R7
  Push $R8
  StrCpy $R2 ""
  StrCpy $R3 ""
  StrCpy $R4 ""
  StrCpy $R6 0
  StrCpy $R7 0
  ${Do}
    StrCpy $R8 $Lines 1 $R6
    ${If} $R8 == ""
      StrCpy $R2 ""
      ${ExitDo}
    ${EndIf}
    IntOp $R6 $R6 + 1
    ${If} $R8 == "$\n"
      ${If} $R5 == 0
        ${ExitDo}
      ${EndIf}
      IntOp $R5 $R5 - 1
      StrCpy $R7 0
      StrCpy $R2 ""
      StrCpy $R3 ""
      StrCpy $R4 ""
    ${ElseIf} $R8 == "$\t"
      IntOp $R7 $R7 + 1
    ${ElseIf} $R7 == 0
      StrCpy $R2 "$R2$R8"
    ${ElseIf} $R7 == 1
      StrCpy $R3 "$R3$R8"
    ${Else}
      StrCpy $R4 "$R4$R8"
    ${EndIf}
  ${Loop}
  Pop $R8
  Pop $R7
  Pop $R6
  Pop $R5
FunctionEnd

; Closes every copy in $Running through --exit, which returns once the copy has ended with its scripts.
; $R0 = 1 where all closed (they are in $Closed). Where one does not close within its bound (10 s at
; most: Stop's 4 s a script, then the close), the ones closed before it are started again as they were,
; and $R0 = 0.
Function ${UN}CloseRunning
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  StrCpy $Closed ""
  StrCpy $R1 0
  ${Do}
    StrCpy $Lines $Running
    Push $R1
    Call ${UN}RunningLine
    ${If} $R2 == ""
      StrCpy $R0 1
      ${ExitDo}
    ${EndIf}
    nsExec::Exec `"$Lister" --exit "--station=$R3"`
    Pop $R0
    ${If} $R0 != 0
      Push "Quorvid in $R3 did not close (exit code $R0): nothing was changed."
      Call ${UN}Log
      Push ""
      Call ${UN}RestartClosed
      StrCpy $R0 0
      ${ExitDo}
    ${EndIf}
    StrCpy $Closed "$Closed$R2$\t$R3$\t$R4$\n"
    IntOp $R1 $R1 + 1
  ${Loop}
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
FunctionEnd

; Starts each copy of $Closed again in its own station folder, with --start where its scripts ran.
; Pop: the program to start, or "" for each copy's own.
Function ${UN}RestartClosed
  Exch $R1
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  StrCpy $R5 0
  ${Do}
    StrCpy $Lines $Closed
    Push $R5
    Call ${UN}RunningLine
    ${If} $R2 == ""
      ${ExitDo}
    ${EndIf}
    ${If} $R1 != ""
      StrCpy $R4 $R1
    ${EndIf}
    SetOutPath $R3
    ${If} $R2 == running
      Exec '"$R4" --start'
    ${Else}
      Exec '"$R4"'
    ${EndIf}
    Push "Started Quorvid again in $R3."
    Call ${UN}Log
    IntOp $R5 $R5 + 1
  ${Loop}
  StrCpy $Closed ""
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
FunctionEnd
!macroend
!insertmacro DEFINE_RUNNING ""
!insertmacro DEFINE_RUNNING "un."


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
  ReadRegStr $EntryExampleHash SHCTX "${UNINST_KEY}" "ExampleHash"
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

; --- Folders compared as the program's lock compares them: by what they are, not how they are written.

; $R0 = the folder $R0 as a full path in its long form, without a trailing backslash: C:\a\..\b\,
; C:\PROGRA~1 and c:\program files name one folder. Where it does not exist yet, the full path alone.
Function NormalisePath
  Push $R1
  Push $R2
  System::Call 'kernel32::GetFullPathNameW(w R0, i ${NSIS_MAX_STRLEN}, w .R1, p 0) i .R2'
  ${If} $R2 > 0
  ${AndIf} $R2 < ${NSIS_MAX_STRLEN}
    StrCpy $R0 $R1
  ${EndIf}
  System::Call 'kernel32::GetLongPathNameW(w R0, w .R1, i ${NSIS_MAX_STRLEN}) i .R2'
  ${If} $R2 > 0
  ${AndIf} $R2 < ${NSIS_MAX_STRLEN}
    StrCpy $R0 $R1
  ${EndIf}
  ; A drive's root keeps its backslash: "C:" alone is that drive's current folder.
  StrCpy $R1 $R0 "" -1
  StrLen $R2 $R0
  ${If} $R1 == "\"
  ${AndIf} $R2 > 3
    StrCpy $R0 $R0 -1
  ${EndIf}
  Pop $R2
  Pop $R1
FunctionEnd

; $R0 = the volume and file index of the existing folder $R0, or "": the same folder reached through a
; junction, a subst drive or another name has the same.
Function FolderId
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  ; No access asked, FILE_FLAG_BACKUP_SEMANTICS: a folder's attributes can be read so.
  System::Call 'kernel32::CreateFileW(w R0, i 0, i 7, p 0, i 3, i 0x02000000, p 0) p .R1'
  StrCpy $R0 ""
  ${If} $R1 != -1
    System::Call '*(&i52) p .R2' ; BY_HANDLE_FILE_INFORMATION
    System::Call 'kernel32::GetFileInformationByHandle(p R1, p R2) i .R3'
    ${If} $R3 <> 0
      System::Call '*$R2(i, i, i, i, i, i, i, i .R3, i, i, i, i .R4, i .R5)'
      StrCpy $R0 "$R3:$R4:$R5"
    ${EndIf}
    System::Free $R2
    System::Call 'kernel32::CloseHandle(p R1)'
  ${EndIf}
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
FunctionEnd

; Pops two folders. $R0 = 1 where they are one folder, else 0.
Function SameFolder
  Exch $R1
  Exch
  Pop $R0
  Push $R2
  Call NormalisePath
  StrCpy $R2 $R0
  StrCpy $R0 $R1
  Call NormalisePath
  ${If} $R0 == $R2
    StrCpy $R0 1
  ${Else}
    Call FolderId
    StrCpy $R1 $R0
    StrCpy $R0 $R2
    Call FolderId
    ${If} $R0 != ""
    ${AndIf} $R0 == $R1
      StrCpy $R0 1
    ${Else}
      StrCpy $R0 0
    ${EndIf}
  ${EndIf}
  Pop $R2
  Pop $R1
FunctionEnd

; Pops OUTER, then INNER (push INNER first). $R0 = 1 where INNER is OUTER or lies inside it.
Function FolderWithin
  Exch $1
  Exch
  Exch $0
  Push $2
  StrCpy $R0 $0
  Call NormalisePath
  StrCpy $2 $R0
  StrCpy $R0 0
  ${DoUntil} $2 == ""
    Push $2
    Push $1
    Call SameFolder
    ${If} $R0 == 1
      ${ExitDo}
    ${EndIf}
    ${GetParent} $2 $2
  ${Loop}
  Pop $2
  Pop $0
  Pop $1
FunctionEnd

; $InPlace = 1 where the program folder is the installation being updated.
Function SetInPlace
  StrCpy $InPlace 0
  ${If} $PrevDir != ""
    Push $R0
    Push $INSTDIR
    Push $PrevDir
    Call SameFolder
    StrCpy $InPlace $R0
    Pop $R0
  ${EndIf}
FunctionEnd

; $R0 = why Setup cannot install in $INSTDIR, or "". Besides the installation being updated, the folder
; may hold the user's files, as long as none has the name of a file that Setup writes: Setup would have
; to replace it, and uninstalling would remove it. (config.ini.example is no such name: Setup keeps one
; that is not its own.)
!macro REFUSE_OWN_NAME NAME
  ${If} $R0 == ""
  ${AndIf} ${FileExists} "$INSTDIR\${NAME}"
    StrCpy $R0 "$INSTDIR already holds a file named ${NAME} that Setup did not put there. Setup would have to replace it. Choose another folder, or move that file away first."
  ${EndIf}
!macroend
Function FolderProblem
  Push $INSTDIR
  Push $Station
  Call FolderWithin
  ${If} $R0 != 1
    Push $Station
    Push $INSTDIR
    Call FolderWithin
  ${EndIf}
  ${If} $R0 == 1
    StrCpy $R0 "The program folder ($INSTDIR) and the station folder ($Station) are the same folder, or one lies inside the other. Choose a folder of its own for the program, outside the station folder."
    Return
  ${EndIf}
  StrCpy $R0 ""
  Call SetInPlace
  ${If} $InPlace != 1
    !insertmacro REFUSE_OWN_NAME Quorvid.exe
    !insertmacro REFUSE_OWN_NAME README.txt
    !insertmacro REFUSE_OWN_NAME uninstall.exe
  ${EndIf}
FunctionEnd

; $R0 = the first few names in a program folder that is not the installation being updated, one a line,
; or "" where it is new or empty.
Function OtherFiles
  Push $0
  Push $1
  Push $2
  StrCpy $R0 ""
  StrCpy $2 0
  Call SetInPlace
  ${If} $InPlace != 1
    FindFirst $0 $1 "$INSTDIR\*"
    ${DoWhile} $1 != ""
      ${If} $1 != "."
      ${AndIf} $1 != ".."
        IntOp $2 $2 + 1
        ${If} $2 > 5
          StrCpy $R0 "$R0$\r$\n    ..."
          ${Break}
        ${EndIf}
        StrCpy $R0 "$R0$\r$\n    $1"
      ${EndIf}
      FindNext $0 $1
    ${Loop}
    FindClose $0
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; $INSTDIR and $Station as written to the shortcuts and the entry, normalised.
Function NormaliseFolders
  Push $R0
  StrCpy $R0 $INSTDIR
  Call NormalisePath
  StrCpy $INSTDIR $R0
  ${If} $Station != ""
    StrCpy $R0 $Station
    Call NormalisePath
    StrCpy $Station $R0
  ${EndIf}
  Pop $R0
FunctionEnd

; $Params with each switch that was quoted whole ("/STATION=C:\a b", as PowerShell and deployment tools
; pass an argument with blanks) in the form GetOptions reads: /STATION="C:\a b".
Function NormaliseParams
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $0 0
  StrCpy $1 ""
  ${Do}
    StrCpy $2 $Params 1 $0
    ${If} $2 == ""
      ${ExitDo}
    ${EndIf}
    StrCpy $3 $Params 2 $0
    StrCpy $4 $1 1 -1
    ${If} $4 == ""
      StrCpy $4 " "
    ${EndIf}
    ${If} $3 == `"/`
    ${AndIf} $4 == " "
      ; The switch, up to its closing quote.
      IntOp $0 $0 + 1
      StrCpy $3 ""
      ${Do}
        StrCpy $2 $Params 1 $0
        ${If} $2 == ""
          ${ExitDo}
        ${EndIf}
        IntOp $0 $0 + 1
        ${If} $2 == `"`
          ${ExitDo}
        ${EndIf}
        StrCpy $3 "$3$2"
      ${Loop}
      ; Its value, after the first "=", in quotes.
      StrCpy $4 0
      ${Do}
        StrCpy $2 $3 1 $4
        ${If} $2 == "="
        ${OrIf} $2 == ""
          ${ExitDo}
        ${EndIf}
        IntOp $4 $4 + 1
      ${Loop}
      ${If} $2 == "="
        IntOp $4 $4 + 1
        StrCpy $2 $3 $4
        StrCpy $3 $3 "" $4
        StrCpy $1 `$1$2"$3"`
      ${Else}
        StrCpy $1 "$1$3"
      ${EndIf}
    ${Else}
      StrCpy $1 "$1$2"
      IntOp $0 $0 + 1
    ${EndIf}
  ${Loop}
  StrCpy $Params $1
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

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


Function RefuseFolders
  Call NormaliseFolders
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
  StrCpy $0 ""
  ${If} $UpdateNote != ""
    StrCpy $0 "$UpdateNote$\r$\n"
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 24u "$0Quorvid needs no administrator rights to run. Choose who it is installed for:"
  Pop $0
  ${NSD_CreateRadioButton} 8u 28u -8u 12u "&Only for me (no administrator rights needed)"
  Pop $ScopeUserButton
  ${NSD_CreateLabel} 20u 41u -20u 24u "The program goes in $UserPrograms\Quorvid, its shortcuts in your own Start menu, and it can start when you log on."
  Pop $0
  ${NSD_CreateRadioButton} 8u 70u -8u 12u "For &all users of this computer (needs an administrator's approval)"
  Pop $ScopeAllButton
  ${NSD_CreateLabel} 20u 83u -20u 32u "The program goes in Program Files, its shortcuts in every user's Start menu, and it can start for whoever logs on to this computer."
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
  ; Over the page, once it shows.
  ${NSD_CreateTimer} AskSoon 100
  nsDialogs::Show
FunctionEnd

Function AskSoon
  ${NSD_KillTimer} AskSoon
  Call AskToClose
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
    ; Already elevated: the installation to update is all users' alone.
    Call FindPrevious
  ${EndIf}
  Call ApplyScope
FunctionEnd

Function ProgramFolderShow
  StrCpy $BrowseText "Select the folder to install Quorvid in:"
  Call AskToClose
FunctionEnd

; $Running = the copies of the installed program (any entry's folder, or the program folder) that run in
; this session, asked of this version's program.
Function FindInstalled
  InitPluginsDir
  ${IfNot} ${FileExists} "$PLUGINSDIR\Quorvid.exe"
    File "/oname=$PLUGINSDIR\Quorvid.exe" "${STAGE}/Quorvid.exe"
  ${EndIf}
  StrCpy $Lister "$PLUGINSDIR\Quorvid.exe"
  StrCpy $ListOut ""
  StrCpy $Running ""
  ${For} $EntryPlace 0 2
    Call ReadEntry
    Push $EntryDir
    Call FindRunning
  ${Next}
  Push $INSTDIR
  Call FindRunning
FunctionEnd

; Before any choice, on the first page: Quorvid runs, and can be closed now (Yes), left for now (No:
; Setup asks again at the install, as before), or Setup quits (Cancel). Closed copies start again after
; the update, or when Setup is cancelled.
Function AskToClose
  ${If} $Asked == 1
  ${OrIf} $NoClose == 1
    Return
  ${EndIf}
  StrCpy $Asked 1
  Call FindInstalled
  ${If} $Running == ""
    Return
  ${EndIf}
  Push $R0
  Call RunningText
  MessageBox MB_YESNOCANCEL|MB_ICONQUESTION "Quorvid is running, in the station folder:$R0$\r$\n$\r$\nSetup closes it to update it, its scripts stopped, and starts it again afterwards in the same station folder, with its scripts running if they ran.$\r$\n$\r$\nClose Quorvid now?" IDYES close IDNO leave
  SetErrorLevel 1
  Quit
  close:
  StrCpy $0 $Closed
  Call CloseRunning
  StrCpy $Closed "$0$Closed"
  ${If} $R0 != 1
    MessageBox MB_OK|MB_ICONEXCLAMATION "Quorvid did not close within 10 seconds. Close it from its window (Stop, then Close), then go on."
  ${EndIf}
  leave:
  Pop $R0
FunctionEnd

; Cancelled: what was closed runs again.
Function OnAbort
  Push ""
  Call RestartClosed
FunctionEnd

; Closes the running copies for the update, unless /NOCLOSE. One that does not close: exit code 2,
; nothing changed.
Function CloseForUpdate
  ${If} $NoClose == 1
    Return
  ${EndIf}
  Call FindInstalled
  StrCpy $0 $Closed
  Call CloseRunning
  StrCpy $Closed "$0$Closed"
  ${If} $R0 != 1
    Push ""
    Call RestartClosed
    SetErrorLevel 2
    Abort "Quorvid did not close: nothing was changed."
  ${EndIf}
FunctionEnd

; A folder with files of the user's is asked about: they stay, beside the program.
Function ProgramFolderLeave
  Call RefuseFolders
  Call OtherFiles
  ${If} $R0 != ""
    ${IfNot} ${Cmd} `MessageBox MB_YESNO|MB_ICONQUESTION "$INSTDIR already holds:$R0$\r$\n$\r$\nSetup puts its own files beside these. It neither replaces nor removes them, now or when Quorvid is uninstalled.$\r$\n$\r$\nInstall Quorvid in this folder?" IDYES`
      Abort
    ${EndIf}
  ${EndIf}
FunctionEnd

; The page serves a folder that may not exist yet: space figures would mean nothing there.
Function StationShow
  StrCpy $BrowseText "Select the station folder:"
  FindWindow $R0 "#32770" "" $HWNDPARENT
  GetDlgItem $R1 $R0 1023
  ShowWindow $R1 ${SW_HIDE}
  GetDlgItem $R1 $R0 1024
  ShowWindow $R1 ${SW_HIDE}
FunctionEnd

Function StationLeave
  Call RefuseFolders
FunctionEnd

; The log-on start, the example config.ini for a station folder without one, and what the folder still
; lacks: notes, since a station may be put together after the installation.
Function OptionsPage
  !insertmacro MUI_HEADER_TEXT "Options" "How Quorvid starts, and the station's settings."
  nsDialogs::Create 1018
  Pop $0
  ${If} $Scope == all
    StrCpy $1 "Start Quorvid when anyone logs on"
    StrCpy $2 "A shortcut in every user's Startup folder starts Quorvid in the station folder, with both scripts running, for whoever logs on to this computer."
  ${Else}
    StrCpy $1 "Start Quorvid when I log on"
    StrCpy $2 "A shortcut in your Startup folder starts Quorvid in the station folder, with both scripts running."
  ${EndIf}
  ${NSD_CreateCheckbox} 0 0 100% 12u "&$1"
  Pop $AutostartBox
  ${If} $Autostart == 1
    ${NSD_Check} $AutostartBox
  ${EndIf}
  ${NSD_CreateLabel} 12u 13u -12u 20u $2
  Pop $0
  StrCpy $ExampleBox ""
  ${If} ${FileExists} "$Station\config.ini"
    ${NSD_CreateLabel} 0 40u 100% 20u "The station folder has its config.ini: Setup leaves it as it is."
    Pop $0
  ${Else}
    ${NSD_CreateCheckbox} 0 40u 100% 12u "&Copy the example config.ini into the station folder"
    Pop $ExampleBox
    ${If} $CopyExample == 1
      ${NSD_Check} $ExampleBox
    ${EndIf}
    ${NSD_CreateLabel} 12u 53u -12u 20u "Its settings are examples, each with a note: put in your station's own before you start the scripts."
    Pop $0
  ${EndIf}
  StrCpy $1 ""
  ${IfNot} ${FileExists} "$Station\sbs1station.php"
    StrCpy $1 "sbs1station.php"
  ${EndIf}
  ${IfNot} ${FileExists} "$Station\uploader.php"
    ${If} $1 != ""
      StrCpy $1 "$1 and "
    ${EndIf}
    StrCpy $1 "$1uploader.php"
  ${EndIf}
  ${If} $1 != ""
    StrCpy $1 "Note: the station folder does not hold $1 yet. Put the scripts there before you start them.$\r$\n"
  ${EndIf}
  ; Where the scripts' "php" is looked for: the station folder, being the current one, or the search path.
  ClearErrors
  SearchPath $2 "php.exe"
  ${If} ${Errors}
  ${AndIfNot} ${FileExists} "$Station\php.exe"
    StrCpy $1 "$1Note: php.exe is neither on the search path (PATH) nor in the station folder. Install PHP before you start the scripts."
  ${EndIf}
  ${NSD_CreateLabel} 0 80u 100% 48u $1
  Pop $0
  nsDialogs::Show
FunctionEnd

Function OptionsLeave
  ${NSD_GetState} $AutostartBox $0
  StrCpy $Autostart 0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Autostart 1
  ${EndIf}
  ${If} $ExampleBox != ""
    ${NSD_GetState} $ExampleBox $0
    StrCpy $CopyExample 0
    ${If} $0 == ${BST_CHECKED}
      StrCpy $CopyExample 1
    ${EndIf}
  ${EndIf}
FunctionEnd

; "Start Quorvid now". A copy elevated for all users leaves it to the Setup that started it, so that
; Quorvid runs with the user's own rights.
Function StartNow
  ${If} $Marked == 1
    SetErrorLevel ${START_AFTER}
  ${Else}
    SetOutPath $Station
    Exec '"$INSTDIR\Quorvid.exe"'
  ${EndIf}
FunctionEnd

; The example config.ini goes beside the program as config.ini.example, where the user may edit it: a
; copy that differs from the ones Setup installed is the user's, and stays as it is ($R0 = 0). 1.1 kept
; it in example-station\config.ini: that one goes on an update unless the user changed it.
Function InstallExample
  ${If} $InPlace == 1
    Push "$INSTDIR\example-station\config.ini"
    Call ExampleState
    ${If} $R0 == 1
      Delete "$INSTDIR\example-station\config.ini"
      RMDir "$INSTDIR\example-station"
    ${ElseIf} $R0 == 0
      Push "Kept $INSTDIR\example-station\config.ini as it is: it was changed."
      Call Log
    ${EndIf}
  ${EndIf}
  Push "$INSTDIR\config.ini.example"
  Call ExampleState
  ${If} $R0 == 0
    Push "Kept $INSTDIR\config.ini.example as it is: it was changed."
    Call Log
  ${EndIf}
FunctionEnd

Section "Quorvid" SecProgram
  ; Everything that can refuse comes before the first change.
  Call NormaliseFolders
  Call FolderProblem
  ${If} $R0 != ""
    SetErrorLevel 4
    Push "$R0 Nothing was changed."
    Call Log
    Abort
  ${EndIf}
  Call SetInPlace
  Call CloseForUpdate
  Push "$INSTDIR\Quorvid.exe"
  Call CloseProgram
  ${For} $EntryPlace 0 2
    ${If} $EntryPlace == 0
    ${AndIf} $Scope == all
      ${Continue}
    ${EndIf}
    Call ReadEntry
    ${If} $EntryDir != ""
      Push "$EntryDir\Quorvid.exe"
      Call CloseProgram
    ${EndIf}
  ${Next}

  ; An update in place keeps the entry and replaces the shortcuts; any other installation goes. For all
  ; users, the user's own installation is not this copy's to touch (see the top).
  ${For} $EntryPlace 0 2
    Call ReadEntry
    ${If} $EntryDir == ""
      ${Continue}
    ${EndIf}
    ${If} $EntryPlace == 0
    ${AndIf} $Scope == all
      ${If} $Marked != 1
        Push "Quorvid is also installed for this user alone, in $EntryDir. Setup, running with administrator rights, leaves that installation as it is: remove it from the list of installed programs if it is no longer wanted."
        Call Log
      ${EndIf}
      ${Continue}
    ${EndIf}
    StrCpy $0 0
    ${If} $Scope == all
      StrCpy $0 1
    ${EndIf}
    Push $INSTDIR
    Push $EntryDir
    Call SameFolder
    ${If} $R0 == 1
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
  Call InstallExample
  ${If} $R0 != 0
    File "${STAGE}/config.ini.example"
  ${EndIf}
  ; The uninstaller is Setup itself under another name (see UninstallLauncher). Setup holds its own file
  ; open against writing from its start, so this copies what was started.
  CopyFiles /SILENT "$EXEPATH" "$INSTDIR\uninstall.exe"

  ; The station folder: made where it is missing, and given the example settings where it has none.
  CreateDirectory $Station
  ${If} $CopyExample == 1
  ${AndIfNot} ${FileExists} "$Station\config.ini"
    SetOutPath $Station
    File "/oname=config.ini" "${STAGE}/config.ini.example"
    Push "Copied the example config.ini into $Station."
    Call Log
  ${EndIf}

  ; A shortcut's "Start in" is the output folder; setting it by hand leaves the station folder as it is.
  StrCpy $OUTDIR $Station
  CreateShortcut "$SMPROGRAMS\Quorvid.lnk" "$INSTDIR\Quorvid.exe" "" "" "" SW_SHOWNORMAL "" \
    "Quorvid Sharing Application in $Station"
  ${If} $Autostart == 1
    CreateShortcut "$SMSTARTUP\Quorvid.lnk" "$INSTDIR\Quorvid.exe" "--start" "" "" SW_SHOWNORMAL "" \
      "Quorvid Sharing Application in $Station, scripts started"
    WriteRegStr SHCTX "${UNINST_KEY}" "StartupShortcut" "$SMSTARTUP\Quorvid.lnk"
  ${EndIf}

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
  WriteRegStr SHCTX "${UNINST_KEY}" "ExampleHash" "${EXAMPLE_SHA256}"
  ${GetSize} "$INSTDIR" "/S=0K" $R0 $R1 $R2
  WriteRegDWORD SHCTX "${UNINST_KEY}" "EstimatedSize" $R0
  Push "Installed Quorvid ${VERSION} in $INSTDIR, for the station folder $Station."
  Call Log
  Push "$INSTDIR\Quorvid.exe"
  Call RestartClosed
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
  ; All users' documents are the Public ones: a station shared by everyone who logs on.
  ${If} $StationKnown != 1
    StrCpy $Station "$DOCUMENTS\Quorvid station"
  ${EndIf}
FunctionEnd

; The installation being updated: the first uninstall entry found, and what it knew. An elevated copy
; that installs for all users does not look at the user's own entry (see the top).
Function FindPrevious
  StrCpy $PrevPlace ""
  StrCpy $PrevDir ""
  StrCpy $PrevPackage ""
  StrCpy $PrevExampleHash ""
  ${For} $EntryPlace 0 2
    ${If} $EntryPlace == 0
    ${AndIf} $Scope == all
    ${AndIf} $Admin == 1
      ${Continue}
    ${EndIf}
    Call ReadEntry
    ${If} $EntryDir != ""
      StrCpy $PrevPlace $EntryPlace
      StrCpy $PrevDir $EntryDir
      StrCpy $PrevPackage $EntryPackage
      StrCpy $PrevExampleHash $EntryExampleHash
      ${Break}
    ${EndIf}
  ${Next}
FunctionEnd

; A copy started elevated (/ELEVATED) that has no administrator rights, as "runas" gives where UAC is
; off and the user is no administrator, stops rather than ask again, and again.
Function RequireAdmin
  ${If} $Admin != 1
    MessageBox MB_OK|MB_ICONEXCLAMATION "Quorvid for all users: an administrator's approval is needed, and Setup runs without it. Nothing was changed." /SD IDOK
    SetErrorLevel 1
    Quit
  ${EndIf}
FunctionEnd

; Starts this installer again with administrator rights to install for all users, passing on what is
; known, and ends with its exit code. The user's own installation then goes here, with the user's
; rights, and Quorvid is started here too where the finish page asked for it. Refused: exit code 1, or
; back to the page.
Function InstallElevated
  StrCpy $RunParams "/ALLUSERS /DOWNGRADE /ELEVATED"
  ${If} $Autostart == 1
    StrCpy $RunParams "$RunParams /AUTOSTART"
  ${Else}
    StrCpy $RunParams "$RunParams /NOAUTOSTART"
  ${EndIf}
  ${If} $StationKnown == 1
    StrCpy $RunParams `$RunParams "/STATION=$Station"`
  ${EndIf}
  StrCpy $RunParams "$RunParams $Params"
  ; NSIS takes /D= only as the last argument, and leaves it out of the parameters.
  ${If} $DirGiven == 1
    StrCpy $RunParams "$RunParams /D=$INSTDIR"
  ${EndIf}
  ; Running copies are closed and started again here, with the user's own rights.
  Call CloseForUpdate
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
  StrCpy $0 0
  ${If} $RunCode == ${START_AFTER}
    StrCpy $0 1
    StrCpy $RunCode 0
  ${EndIf}
  ${If} $RunCode == 0
    StrCpy $EntryPlace 0
    Call ReadEntry
    ${If} $EntryDir != ""
      Call RemoveEntry
    ${EndIf}
    StrCpy $EntryPlace 1
    Call ReadEntry
    ${If} $0 == 1
      SetOutPath $EntryStation
      Exec '"$EntryDir\Quorvid.exe"'
    ${EndIf}
    Push "$EntryDir\Quorvid.exe"
    Call RestartClosed
  ${Else}
    Push ""
    Call RestartClosed
  ${EndIf}
  SetErrorLevel $RunCode
  Quit
FunctionEnd

; Run as uninstall.exe, the copy of itself that Setup leaves in the program folder: writes the
; uninstaller proper into a folder of its own, runs it there on this folder (_?=) and waits for it, so
; that "uninstall.exe /S" returns once the files are gone, with its exit code. Its own file moves out of
; the way meanwhile, so that the folder can go: Windows lets a running program's file be renamed, not
; deleted. An all-users installation is removed with administrator rights asked for this file, the
; installed one, never for a copy in %TEMP%.
Function UninstallLauncher
  Call IsAdmin
  ; Earlier installers ran an uninstaller in place with "_?=": that is this folder anyway.
  ${WordFind} $Params "_?=" "+1{" $1
  ${If} $1 == $Params
    StrCpy $1 $Params
  ${EndIf}
  SetRegView 64
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  SetRegView default
  ${If} $0 != ""
  ${AndIf} $Admin != 1
    Push $0
    Push $EXEDIR
    Call SameFolder
    ${If} $R0 == 1
      ClearErrors
      ${GetOptions} $Params "/ELEVATED" $0
      ${IfNot} ${Errors}
        MessageBox MB_OK|MB_ICONEXCLAMATION "Quorvid is installed for all users: removing it needs an administrator's approval, and the uninstaller runs without it." /SD IDOK
        SetErrorLevel 1
        Quit
      ${EndIf}
      StrCpy $RunVerb runas
      StrCpy $RunFile $EXEPATH
      StrCpy $RunParams "$1 /ELEVATED"
      Call RunAndWait
      ${If} $RunCode == ""
        MessageBox MB_OK|MB_ICONEXCLAMATION "Quorvid is installed for all users: removing it needs an administrator's approval, which was not given." /SD IDOK
        StrCpy $RunCode 1
      ${EndIf}
      SetErrorLevel $RunCode
      Quit
    ${EndIf}
  ${EndIf}
  InitPluginsDir
  WriteUninstaller "$PLUGINSDIR\uninstall.exe"
  ; Setup reads its data from its own file, which it keeps open without letting it be renamed. That
  ; data is no longer needed: the handle is closed, found by the file's name (less the "\\?\" prefix).
  ; Only disk files are asked their name: asking a pipe's can block.
  StrCpy $R0 $EXEPATH
  Call NormalisePath
  ${For} $4 1 4096
    IntOp $5 $4 * 4
    StrCpy $7 0
    System::Call 'kernel32::GetFileType(p r5) i .r8'
    ${If} $8 = ${FILE_TYPE_DISK}
      System::Call 'kernel32::GetFinalPathNameByHandleW(p r5, w .r6, i ${NSIS_MAX_STRLEN}, i 0) i .r7'
    ${EndIf}
    ${If} $7 > 0
      StrCpy $6 $6 "" 4
      ${If} $6 == $R0
        System::Call 'kernel32::CloseHandle(p r5)'
      ${EndIf}
    ${EndIf}
  ${Next}
  StrCpy $2 "$PLUGINSDIR\launcher.exe"
  System::Call 'kernel32::MoveFileExW(w "$EXEPATH", w r2, i 0) i .r3'
  ClearErrors
  ExecWait '"$PLUGINSDIR\uninstall.exe" $1 _?=$EXEDIR' $0
  ${If} ${Errors}
    StrCpy $0 2
  ${EndIf}
  ${If} $0 != 0
  ${AndIf} $3 <> 0
    System::Call 'kernel32::MoveFileExW(w r2, w "$EXEPATH", i 0)'
  ${EndIf}
  SetErrorLevel $0
  Quit
FunctionEnd

; Options first, then what the installed one knew: an update may leave them out.
Function .onInit
  ${GetParameters} $Params
  Call NormaliseParams
  ${If} $EXEFILE == "uninstall.exe"
    Call UninstallLauncher
  ${EndIf}
  ${If} $INSTDIR != ""
    StrCpy $DirGiven 1
  ${EndIf}
  Call IsAdmin
  ClearErrors
  ${GetOptions} $Params "/ELEVATED" $0
  ${IfNot} ${Errors}
    StrCpy $Marked 1
    StrCpy $Asked 1
    Call RequireAdmin
  ${EndIf}
  ClearErrors
  ${GetOptions} $Params "/NOCLOSE" $0
  ${IfNot} ${Errors}
    StrCpy $NoClose 1
  ${EndIf}
  SetShellVarContext current
  GetKnownFolderPath $UserPrograms {5CD7AEE2-2219-4A67-B85D-6C9CE15660CB} ; FOLDERID_UserProgramFiles
  ${If} $UserPrograms == ""
    StrCpy $UserPrograms "$LOCALAPPDATA\Programs"
  ${EndIf}

  StrCpy $Scope user
  ClearErrors
  ${GetOptions} $Params "/CURRENTUSER" $0
  ${IfNot} ${Errors}
    StrCpy $ScopeGiven 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $Params "/ALLUSERS" $0
  ${IfNot} ${Errors}
    StrCpy $Scope all
    StrCpy $ScopeGiven 1
  ${EndIf}

  StrCpy $Autostart 0
  StrCpy $CopyExample 1
  Call FindPrevious
  ${If} $PrevPlace != ""
    ${If} $PrevPlace != 0
    ${AndIf} $ScopeGiven != 1
      StrCpy $Scope all
    ${EndIf}
    StrCpy $Station $EntryStation
    ${If} $EntryStartup != ""
      StrCpy $Autostart 1
    ${EndIf}
    ${VersionCompare} ${VERSION} $EntryVersion $0
    ${If} $0 == 0
      StrCpy $UpdateNote "Quorvid $EntryVersion is installed: this repairs it, and keeps your choices."
    ${ElseIf} $0 == 1
      StrCpy $UpdateNote "Quorvid $EntryVersion is installed: this updates it to ${VERSION}, and keeps your choices."
    ${Else}
      StrCpy $UpdateNote "Quorvid $EntryVersion, a newer version, is installed: this replaces it with ${VERSION}, and keeps your choices."
      ClearErrors
      ${GetOptions} $Params "/DOWNGRADE" $1
      ${If} ${Errors}
        ${IfNot} ${Cmd} `MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "Quorvid $EntryVersion is installed, a newer version than this one (${VERSION}).$\r$\n$\r$\nReplace it with the older version?" /SD IDNO IDYES`
          SetErrorLevel 3
          Quit
        ${EndIf}
      ${EndIf}
    ${EndIf}
  ${EndIf}

  ClearErrors
  ${GetOptions} $Params "/STATION=" $0
  ${IfNot} ${Errors}
    StrCpy $Station $0
  ${EndIf}
  ${If} $Station != ""
    StrCpy $StationKnown 1
    Push $R0
    StrCpy $R0 $Station
    Call NormalisePath
    StrCpy $Station $R0
    Pop $R0
  ${EndIf}
  ClearErrors
  ${GetOptions} $Params "/AUTOSTART" $0
  ${IfNot} ${Errors}
    StrCpy $Autostart 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $Params "/NOAUTOSTART" $0
  ${IfNot} ${Errors}
    StrCpy $Autostart 0
  ${EndIf}

  ${If} ${Silent}
  ${AndIf} $Scope == all
  ${AndIf} $Admin != 1
    Call InstallElevated
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

; On the confirm page, before any choice: Quorvid runs from this folder, and can be closed now (Yes),
; left (No: the removal asks again), or the uninstaller quits (Cancel). Nothing is started afterwards.
Function un.AskToClose
  ${If} $NoClose == 1
    Return
  ${EndIf}
  StrCpy $ListOut ""
  StrCpy $Running ""
  Push $INSTDIR
  Call un.FindRunning
  ${If} $Running == ""
    Return
  ${EndIf}
  Call un.RunningText
  MessageBox MB_YESNOCANCEL|MB_ICONQUESTION "Quorvid is running, in the station folder:$R0$\r$\n$\r$\nIt must be closed, its scripts stopped, before it is removed. Close Quorvid now?" IDYES close IDNO leave
  SetErrorLevel 1
  Quit
  close:
  Call un.CloseRunning
  ${If} $R0 != 1
    MessageBox MB_OK|MB_ICONEXCLAMATION "Quorvid did not close within 10 seconds. Close it from its window (Stop, then Close), then go on."
  ${EndIf}
  leave:
FunctionEnd

; Started by uninstall.exe, elevated already where the installation is all users'. A copy without the
; rights it needs stops: it never asks for them itself, being a file in %TEMP%.
Function un.onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOCLOSE" $1
  ${IfNot} ${Errors}
    StrCpy $NoClose 1
  ${EndIf}
  StrCpy $Lister "$INSTDIR\Quorvid.exe"
  Call un.IsAdmin
  StrCpy $Scope user
  SetShellVarContext all
  SetRegView 64
  ReadRegStr $0 SHCTX "${UNINST_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    StrCpy $Scope all
    ${If} $Admin != 1
      MessageBox MB_OK|MB_ICONEXCLAMATION "Quorvid is installed for all users: removing it needs an administrator's approval." /SD IDOK
      SetErrorLevel 1
      Quit
    ${EndIf}
  ${EndIf}
  Call un.UseScope
FunctionEnd

; Takes away what the installer put in place, and its entry only where the entry is this folder's. The
; station folder is the user's and stays as it is; so do the user's files beside the program, and the
; example config.ini where the user changed it.
Section "Uninstall"
  ${If} $NoClose != 1
    StrCpy $ListOut ""
    StrCpy $Running ""
    Push $INSTDIR
    Call un.FindRunning
    Call un.CloseRunning
    ${If} $R0 != 1
      SetErrorLevel 2
      Abort "Quorvid did not close: nothing was removed."
    ${EndIf}
  ${EndIf}
  Push "$INSTDIR\Quorvid.exe"
  Call un.CloseProgram
  StrCpy $PrevExampleHash ""
  ReadRegStr $0 SHCTX "${UNINST_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    ReadRegStr $PrevExampleHash SHCTX "${UNINST_KEY}" "ExampleHash"
    ReadRegStr $0 SHCTX "${UNINST_KEY}" "MenuShortcut"
    Delete $0
    ReadRegStr $0 SHCTX "${UNINST_KEY}" "StartupShortcut"
    Delete $0
    DeleteRegKey SHCTX "${UNINST_KEY}"
  ${EndIf}
  Delete "$INSTDIR\Quorvid.exe"
  Delete "$INSTDIR\README.txt"
  ${ForEach} $1 0 1 + 1
    StrCpy $2 "$INSTDIR\config.ini.example"
    ${If} $1 == 1
      StrCpy $2 "$INSTDIR\example-station\config.ini"
    ${EndIf}
    Push $2
    Call un.ExampleState
    ${If} $R0 == 1
      Delete $2
    ${ElseIf} $R0 == 0
      Push "Kept $2: it was changed."
      Call un.Log
    ${EndIf}
  ${Next}
  RMDir "$INSTDIR\example-station"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
