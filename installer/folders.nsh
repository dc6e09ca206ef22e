; Folders as full paths in their long form, so that C:\a\..\b\, C:\PROGRA~1 and c:\program files each
; compare as the folder they name; and the folders Setup refuses.

Var InPlace ; 1: the program folder is the installation being updated

; $R0 = the folder $R0 so written, without a trailing backslash but a drive root's. Uses $R1, $R2.
Function NormalisePath
  System::Call 'kernel32::GetFullPathNameW(w R0, i ${NSIS_MAX_STRLEN}, w .R1, p 0) i .R2'
  ${IfThen} $R2 > 0 ${|} StrCpy $R0 $R1 ${|}
  System::Call 'kernel32::GetLongPathNameW(w R0, w .R1, i ${NSIS_MAX_STRLEN}) i .R2'
  ${IfThen} $R2 > 0 ${|} StrCpy $R0 $R1 ${|}
  StrCpy $R1 $R0 "" -1
  StrLen $R2 $R0
  ${If} $R1 == "\"
  ${AndIf} $R2 > 3
    StrCpy $R0 $R0 -1
  ${EndIf}
FunctionEnd

; Pop OUTER, then INNER (push INNER first), both written as NormalisePath writes them. $R0 = 1 where
; INNER is OUTER or lies inside it, else 0. Uses $R1.
Function FolderWithin
  Exch $1
  Exch
  Exch $0
  StrCpy $R1 $1 "" -1
  ${IfThen} $R1 == "\" ${|} StrCpy $1 $1 -1 ${|}
  StrLen $R0 "$1\"
  StrCpy $R1 "$0\" $R0
  StrCpy $R0 0
  ${IfThen} $R1 == "$1\" ${|} StrCpy $R0 1 ${|}
  Pop $0
  Pop $1
FunctionEnd

; $R0 = why Setup cannot install in $INSTDIR for the station folder, or "". The program folder may hold
; files of the user's, but none with the name of one of Setup's: Setup would replace it.
Function FolderProblem
  StrCpy $R0 $INSTDIR
  Call NormalisePath
  StrCpy $INSTDIR $R0
  StrCpy $R0 $Station
  Call NormalisePath
  StrCpy $Station $R0
  StrCpy $InPlace 0
  ${IfThen} $INSTDIR == $PrevDir ${|} StrCpy $InPlace 1 ${|}
  Push $INSTDIR
  Push $Station
  Call FolderWithin
  ${If} $R0 == 0
    Push $Station
    Push $INSTDIR
    Call FolderWithin
  ${EndIf}
  ${If} $R0 == 1
    StrCpy $R0 "The program folder ($INSTDIR) and the station folder ($Station) are the same folder, or one lies inside the other. Choose a folder of its own for the program."
    Return
  ${EndIf}
  ${GetParent} $INSTDIR $0
  Push $0
  Push $PROGRAMFILES64
  Call FolderWithin
  ${If} $R0 == 0
    Push $0
    Push $PROGRAMFILES32
    Call FolderWithin
  ${EndIf}
  ${If} "$R0$Scope" == 0all
    StrCpy $R0 "For all users, Quorvid goes in a folder inside $PROGRAMFILES, where only administrators can change it; $INSTDIR is not one."
    Return
  ${EndIf}
  StrCpy $R0 ""
  ${For} $1 1 5
    ${WordFind} "${PROGRAM_FILES}" " " "+$1" $2
    ${If} $InPlace != 1
    ${AndIf} ${FileExists} "$INSTDIR\$2"
      StrCpy $R0 "$INSTDIR already holds a file named $2 that Setup did not put there, and would have to replace it. Choose another folder, or move that file away first."
    ${EndIf}
  ${Next}
FunctionEnd

Function FoldersLeave
  Call FolderProblem
  ${If} $R0 != ""
    MessageBox MB_OK|MB_ICONSTOP $R0
    Abort
  ${EndIf}
FunctionEnd
