; Setup's own pages: who it is for, and the options.
Var ScopeUserButton
Var ScopeAllButton
Var AutostartBox
Var ExampleBox
Function ScopePage
  ${IfThen} $ScopeGiven == 1 ${|} Abort ${|}
  !insertmacro MUI_HEADER_TEXT "Who is it for" "Quorvid can run the station for you alone, or for this whole computer."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 20u "$InstalledNote An update keeps your choices; installing for you alone leaves one for all users as it is."
  Pop $0
  ${NSD_CreateRadioButton} 0 24u 100% 12u "Only for &me"
  Pop $ScopeUserButton
  ${NSD_CreateLabel} 12u 37u -12u 30u "No administrator needed. Quorvid goes in $UserPrograms\Quorvid and runs the station while you are logged on, with your own rights."
  Pop $0
  ${NSD_CreateRadioButton} 0 70u 100% 12u "For &all users of this computer (needs an administrator)"
  Pop $ScopeAllButton
  ${NSD_CreateLabel} 12u 83u -12u 40u "Quorvid goes in Program Files and runs the station as a Windows service: it starts with the computer, before anyone logs on, and keeps running when everyone logs off. Each user can see how the station runs."
  Pop $0
  ${If} $Scope == all
    ${NSD_Check} $ScopeAllButton
  ${Else}
    ${NSD_Check} $ScopeUserButton
  ${EndIf}
  nsDialogs::Show
FunctionEnd
Function ScopeLeave
  ${NSD_GetState} $ScopeAllButton $0
  StrCpy $Scope user
  ${IfThen} $0 == ${BST_CHECKED} ${|} StrCpy $Scope all ${|}
  Call ApplyScope
  ${If} $Scope == all
  ${AndIf} $Admin != 1
    Call InstallElevated
  ${EndIf}
FunctionEnd
; The log-on start (for all users: the service, and the view at everyone's log-on), the example config.ini
; for a station folder without one, and what the folder still lacks.
Function OptionsPage
  !insertmacro MUI_HEADER_TEXT "Options" "How the station starts, and its settings."
  nsDialogs::Create 1018
  Pop $0
  ${If} $Scope == all
    ${NSD_CreateLabel} 0 0 100% 28u "Quorvid's service will run the station in $Station: it starts both scripts when the computer starts, starts a script again when it ends, and needs nobody to log on."
    Pop $0
    ${NSD_CreateCheckbox} 0 30u 100% 12u "&Show the station's lamps in the notification area when anyone logs on"
    Pop $AutostartBox
    StrCpy $1 "Each user then sees how the scripts run, and can open Quorvid's window from the icon. Starting and stopping the scripts is for administrators."
  ${Else}
    ${NSD_CreateLabel} 0 0 100% 28u "Quorvid will run the station in $Station while you are logged on, with your own rights."
    Pop $0
    ${NSD_CreateCheckbox} 0 30u 100% 12u "&Start Quorvid when I log on"
    Pop $AutostartBox
    StrCpy $1 "A shortcut in your Startup folder starts Quorvid in the station folder, with both scripts running."
  ${EndIf}
  ${NSD_CreateLabel} 12u 43u -12u 20u $1
  Pop $0
  ${IfThen} $Autostart == 1 ${|} ${NSD_Check} $AutostartBox ${|}
  StrCpy $ExampleBox ""
  ${If} ${FileExists} "$Station\config.ini"
    ${NSD_CreateLabel} 0 66u 100% 10u "The station folder has its config.ini: Setup leaves it as it is."
    Pop $0
  ${Else}
    ${NSD_CreateCheckbox} 0 66u 100% 12u "&Copy the example config.ini into the station folder"
    Pop $ExampleBox
    ${IfThen} $CopyExample == 1 ${|} ${NSD_Check} $ExampleBox ${|}
  ${EndIf}
  StrCpy $1 "the search path (PATH)"
  ${If} $Scope == all
    StrCpy $1 "the computer's search path (the system's PATH, not a user's)"
  ${EndIf}
  ${NSD_CreateLabel} 0 82u 100% 50u "The scripts, sbs1station.php and uploader.php, must be in the station folder before they start, and php.exe in the station folder or on $1.$\r$\n$\r$\nA Quorvid that runs from the program folder is closed while Setup works, and started again afterwards as it was."
  Pop $0
  nsDialogs::Show
FunctionEnd
Function OptionsLeave
  ${NSD_GetState} $AutostartBox $0
  StrCpy $Autostart 0
  ${IfThen} $0 == ${BST_CHECKED} ${|} StrCpy $Autostart 1 ${|}
  ${If} $ExampleBox != ""
    ${NSD_GetState} $ExampleBox $0
    StrCpy $CopyExample 0
    ${IfThen} $0 == ${BST_CHECKED} ${|} StrCpy $CopyExample 1 ${|}
  ${EndIf}
FunctionEnd
