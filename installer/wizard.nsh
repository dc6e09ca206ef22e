; Setup's own pages: who it is for, and the options.
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
  Pop $0
  ${IfThen} $Scope != all ${|} ${NSD_Check} $0 ${|}
  ${NSD_CreateLabel} 12u 37u -12u 30u "No administrator needed. Quorvid goes in $UserPrograms\Quorvid and runs the station while you are logged on, with your own rights."
  Pop $0
  ${NSD_CreateRadioButton} 0 70u 100% 12u "For &all users of this computer (needs an administrator)"
  Pop $ScopeAllButton
  ${IfThen} $Scope == all ${|} ${NSD_Check} $ScopeAllButton ${|}
  ${NSD_CreateLabel} 12u 83u -12u 40u "Quorvid goes in Program Files and runs the station as a Windows service: it starts with the computer, before anyone logs on, and keeps running when everyone logs off. Each user can see how the station runs."
  Pop $0
  nsDialogs::Show
FunctionEnd
Function ScopeLeave
  ${NSD_GetState} $ScopeAllButton $0
  StrCpy $Scope user
  ${IfThen} $0 == ${BST_CHECKED} ${|} StrCpy $Scope all ${|}
  Call ApplyScope
  ${IfThen} "$Scope$Admin" == all ${|} Call InstallElevated ${|}
FunctionEnd
; The log-on start (for all users: the service, and the view at everyone's log-on), the example config.ini
; for a station folder without one, and what the folder still lacks.
Function OptionsPage
  !insertmacro MUI_HEADER_TEXT "Options" "How the station starts, and its settings."
  nsDialogs::Create 1018
  Pop $0
  StrCpy $1 "Quorvid will run the station in $Station while you are logged on, with your own rights."
  StrCpy $2 "&Start Quorvid when I log on"
  StrCpy $3 "A shortcut in your Startup folder starts Quorvid in the station folder, with both scripts running."
  ${If} $Scope == all
    StrCpy $1 "Quorvid's service will run the station in $Station: it starts both scripts with the computer, starts a script again when it ends, and needs nobody to log on."
    StrCpy $2 "&Show the station's lamps in the notification area when anyone logs on"
    StrCpy $3 "Each user then sees how the scripts run, and can open Quorvid's window from the icon. Starting and stopping the scripts is for administrators."
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 28u $1
  Pop $0
  ${NSD_CreateCheckbox} 0 30u 100% 12u $2
  Pop $AutostartBox
  ${IfThen} $Autostart == 1 ${|} ${NSD_Check} $AutostartBox ${|}
  ${NSD_CreateLabel} 12u 43u -12u 20u $3
  Pop $0
  StrCpy $ExampleBox ""
  ${If} ${FileExists} "$Station\config.ini"
    ${NSD_CreateLabel} 0 66u 100% 10u "The station folder has its config.ini: Setup leaves it as it is."
    Pop $0
  ${Else}
    ${NSD_CreateCheckbox} 0 66u 100% 12u "&Copy the example config.ini into the station folder"
    Pop $ExampleBox
    ${IfThen} $CopyExample == 1 ${|} ${NSD_Check} $ExampleBox ${|}
  ${EndIf}
  ${NSD_CreateLabel} 0 82u 100% 50u "The scripts, sbs1station.php and uploader.php, must be in the station folder before they start, and php.exe in the station folder or on the search path (PATH; for all users, the system's).$\r$\n$\r$\nA Quorvid that runs from the program folder is closed while Setup works, and started again afterwards as it was."
  Pop $0
  nsDialogs::Show
FunctionEnd
Function OptionsLeave
  ${NSD_GetState} $AutostartBox $Autostart
  ${IfThen} $ExampleBox != "" ${|} ${NSD_GetState} $ExampleBox $CopyExample ${|}
FunctionEnd
