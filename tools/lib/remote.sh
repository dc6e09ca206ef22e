# Sourced by the tools that drive Quorvid from outside as a person would (tools/screenshots, the release
# checks): the numbers of the messages they post to its main window, as the program defines them, and the
# remote control (tools/remote) of the current target's build. Expects wine-session.sh and $build.
WM_COMMAND=0x111 WM_SYSCOMMAND=0x112 WM_KEYDOWN=0x100 VK_ESCAPE=0x1b
WM_TRAYICON=$((0x400 + 100)) TRAY_ICON_ID=100 WM_CONSOLE_STATE=$((0x400 + 101))
IDC_START=1002 IDC_STOP=1003 IDC_CLOSE=1004 IDC_LOGIN=1005 ID_ABOUT=32773 IDOK=1 IDCANCEL=2
IDM_STATION_HISTORY=0x20 IDM_UPLOADER_HISTORY=0x30

remote() { wine "$build/bin/quorvid_remote.exe" "$@"; }
