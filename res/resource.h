// Resource and control identifiers, shared by the resource script and the code.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN_DIALOG 102
#define IDI_APP 129
#define IDR_TRAY_MENU 138
#define IDI_STATE_0 139
#define IDI_STATE_1 140
#define IDI_STATE_2 141
#define IDI_STATE_3 142

#define IDC_LIST_STATION 1000
#define IDC_LIST_UPLOADER 1001
#define IDC_START 1002
#define IDC_STOP 1003
#define IDC_CLOSE 1004
#define IDC_LOGIN 1005
#define IDC_PASSWORD 1006
#define IDC_INTERVAL 1007
#define IDC_UDP_SERVER 1008
#define IDC_HTTP_SERVER 1009
#define IDC_INTERVAL_LABEL 1010

#define IDM_ABOUTBOX 0x0010

#define ID_SHOW_WINDOW 32771
#define ID_TERMINATE 32772
#define ID_ABOUT 32773
#define ID_TRAY_TITLE 32774

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
