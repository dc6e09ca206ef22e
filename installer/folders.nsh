; The folders Setup refuses; and folders as full paths in their long form, without a trailing backslash
; but a drive root's ("\." takes it away, and stands for the root), so that C:\a\..\b\, C:\PROGRA~1 and
; c:\program files each compare as the folder they name. Normalise VAR uses $R1, $R2.
Var InPlace ; 1: the program folder is the installation being updated
!macro Normalise VAR
  System::Call 'kernel32::GetFullPathNameW(w "${VAR}\.", i ${NSIS_MAX_STRLEN}, w .R1, p 0) i .R2'
  ${IfThen} $R2 > 0 ${|} StrCpy ${VAR} $R1 ${|}
  System::Call 'kernel32::GetLongPathNameW(w "${VAR}", w .R1, i ${NSIS_MAX_STRLEN}) i .R2'
  ${IfThen} $R2 > 0 ${|} StrCpy ${VAR} $R1 ${|}
!macroend
; ${If} INNER Within OUTER: true where INNER is OUTER or lies inside it. Uses $R1.
!macro _Within _inner _outer _t _f
  ${WordFind} "${_inner}\" "${_outer}\" "E+1{" $R1
  IfErrors `${_f}`
  StrCmp $R1 "" `${_t}` `${_f}`
!macroend
; $R0 = why Setup cannot install in $INSTDIR for the station folder, or "". The program folder may hold
; the user's files, but none named as one of Setup's, which it would replace.
Function FolderProblem
  !insertmacro Normalise $INSTDIR
  !insertmacro Normalise $Station
  StrCpy $InPlace 0
  ${IfThen} $INSTDIR == $PrevDir ${|} StrCpy $InPlace 1 ${|}
  StrCpy $R0 ""
  ${If} $INSTDIR Within $Station
  ${OrIf} $Station Within $INSTDIR
    StrCpy $R0 "The program folder ($INSTDIR) and the station folder ($Station) are one folder, or one lies inside the other. Choose a folder of its own for the program."
  ${EndIf}
  ${GetParent} $Station $1
  ${GetParent} $INSTDIR $0
  ${If} "$0$1" == "$0"
  ${OrIf} "$0$1" == "$1"
    StrCpy $R0 "Neither folder may be a drive's root ($INSTDIR, $Station): choose a folder in it."
  ${EndIf}
  ${IfNot} $0 Within $PROGRAMFILES64
  ${AndIfNot} $0 Within $PROGRAMFILES32
  ${AndIf} $Scope == all
    StrCpy $R0 "For all users, Quorvid goes in a folder inside $PROGRAMFILES, where only administrators can change it; $INSTDIR is not one."
  ${EndIf}
  ${For} $1 1 5
    ${WordFind} "${PROGRAM_FILES}" " " "+$1" $2
    ${If} "$R0$InPlace" == 0
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
