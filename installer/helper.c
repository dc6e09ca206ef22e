// uninstall.exe [/S], beside Quorvid: runs NSIS's uninstaller, uninstall.dat, from a copy made afresh in
// the temporary folder, on this folder ("_?="), and waits for it, so that it returns once the files are
// gone, with the uninstaller's exit code. Holding no handle on its own file, it moves that file out of
// the folder first (a running program's file can be renamed). Where this user may not change the folder
// (Program Files), it starts itself again, from where it is, with the approval prompt.
// As Setup's helper: --start "FOLDER" "PROGRAM" ARGUMENTS starts PROGRAM in FOLDER with the user's own
// rights (0, or 5 where it could not); --runas "FOLDER" "PROGRAM" ARGUMENTS runs it with the approval
// prompt and gives its exit code, or 1223 where not approved.
#define COBJMACROS
#include <windows.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlobj.h>
#include <wchar.h>

enum { kRefused = 1, kFailed = 5, kNotApproved = ERROR_CANCELLED };

static int wait_for(HANDLE process) {
  DWORD code = kFailed;
  WaitForSingleObject(process, INFINITE);
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return (int)code;
}

static int run_as_admin(const wchar_t* program, const wchar_t* arguments, const wchar_t* folder) {
  SHELLEXECUTEINFOW info = {sizeof info, SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC, GetForegroundWindow(), L"runas",
                            program, arguments, folder, SW_SHOWNORMAL, NULL, NULL, NULL, NULL, 0, {NULL}, NULL};
  if (!ShellExecuteExW(&info)) return kNotApproved;
  return info.hProcess ? wait_for(info.hProcess) : kFailed;
}

// As "How can I launch an unelevated process from my elevated process" (The Old New Thing) shows: the
// desktop window's folder view hands out the shell's IShellDispatch2, whose ShellExecute runs in
// Explorer's process. The references go when this short program ends.
static int shell_start(const wchar_t* program, const wchar_t* arguments, const wchar_t* folder) {
  IShellWindows* windows;
  IDispatch *desktop, *background, *application;
  IServiceProvider* services;
  IShellBrowser* browser;
  IShellView* view;
  IShellFolderViewDual* folder_view;
  IShellDispatch2* shell;
  VARIANT none, args, dir, show;
  long window;
  VariantInit(&none);
  if (FAILED(CoInitialize(NULL)) ||
      FAILED(CoCreateInstance(&CLSID_ShellWindows, NULL, CLSCTX_LOCAL_SERVER, &IID_IShellWindows, (void**)&windows)) ||
      IShellWindows_FindWindowSW(windows, &none, &none, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, &desktop) != S_OK ||
      FAILED(IDispatch_QueryInterface(desktop, &IID_IServiceProvider, (void**)&services)) ||
      FAILED(IServiceProvider_QueryService(services, &SID_STopLevelBrowser, &IID_IShellBrowser, (void**)&browser)) ||
      FAILED(IShellBrowser_QueryActiveShellView(browser, &view)) ||
      FAILED(IShellView_GetItemObject(view, SVGIO_BACKGROUND, &IID_IDispatch, (void**)&background)) ||
      FAILED(IDispatch_QueryInterface(background, &IID_IShellFolderViewDual, (void**)&folder_view)) ||
      FAILED(IShellFolderViewDual_get_Application(folder_view, &application)) ||
      FAILED(IDispatch_QueryInterface(application, &IID_IShellDispatch2, (void**)&shell)))
    return kFailed;
  args.vt = dir.vt = VT_BSTR, show.vt = VT_I4;
  args.bstrVal = SysAllocString(arguments), dir.bstrVal = SysAllocString(folder), show.lVal = SW_SHOWNORMAL;
  return FAILED(IShellDispatch2_ShellExecute(shell, SysAllocString(program), args, dir, none, show)) ? kFailed : 0;
}

// A process that UAC elevated has an unelevated twin, the desktop's shell, which starts the program for
// it; any other starts it directly.
static int start_as_user(const wchar_t* program, const wchar_t* arguments, const wchar_t* folder) {
  HANDLE token;
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  DWORD size;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size);
    CloseHandle(token);
  }
  if (type == TokenElevationTypeFull) return shell_start(program, arguments, folder);
  return (INT_PTR)ShellExecuteW(NULL, NULL, program, arguments, folder, SW_SHOWNORMAL) > 32 ? 0 : kFailed;
}

static int uninstall(const wchar_t* arguments) {
  wchar_t self[MAX_PATH], folder[MAX_PATH], temp[MAX_PATH], path[MAX_PATH + 40], copy[MAX_PATH + 40],
      moved[MAX_PATH + 40], command[3 * MAX_PATH + 200];
  DWORD length = GetModuleFileNameW(NULL, self, MAX_PATH), id = GetCurrentProcessId(), tick = GetTickCount();
  if (!length || length >= MAX_PATH || !GetTempPathW(MAX_PATH, temp) || wcslen(temp) > MAX_PATH - 40) return kFailed;
  wcscpy(folder, self);
  *wcsrchr(folder, L'\\') = 0;
  SetCurrentDirectoryW(temp);  // a current folder inside the program folder would keep it there

  swprintf(path, MAX_PATH + 40, L"%ls\\~quorvid-%lu.tmp", folder, id);
  HANDLE probe = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, NULL);
  if (probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
    if (wcsstr(arguments, L"/ELEVATED")) return kRefused;  // approved, and still not allowed: no second prompt
    swprintf(command, sizeof command / sizeof *command, L"%ls /ELEVATED", arguments);
    int code = run_as_admin(self, command, temp);
    return code == kNotApproved ? kRefused : code;
  }
  CloseHandle(probe);

  swprintf(path, MAX_PATH + 40, L"%ls\\uninstall.dat", folder);
  swprintf(copy, MAX_PATH + 40, L"%lsQuorvid-uninstall-%lu-%lu.exe", temp, id, tick);
  swprintf(moved, MAX_PATH + 40, L"%lsQuorvid-uninstall-%lu-%lu.old", temp, id, tick);
  if (!CopyFileW(path, copy, TRUE)) return kFailed;
  // Held against change until started: CreateProcess only reads it, which this shares.
  HANDLE hold = CreateFileW(copy, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  BOOL away = MoveFileExW(self, moved, 0);  // else (another drive) the uninstaller leaves it to a restart
  swprintf(command, sizeof command / sizeof *command, L"\"%ls\" %ls _?=%ls", copy, arguments, folder);
  STARTUPINFOW startup = {.cb = sizeof startup};
  PROCESS_INFORMATION process;
  int code = kFailed;
  if (CreateProcessW(copy, command, NULL, NULL, FALSE, 0, NULL, temp, &startup, &process)) {
    CloseHandle(process.hThread);
    code = wait_for(process.hProcess);
  }
  CloseHandle(hold);
  if (away && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) MoveFileExW(moved, self, 0);  // still installed
  DeleteFileW(copy);
  // This file runs until the end: with an administrator's rights it goes at the next restart.
  MoveFileExW(GetFileAttributesW(moved) != INVALID_FILE_ATTRIBUTES ? moved : copy, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
  return code;
}

// The next word of a command line that Setup wrote: "word" and a blank; NULL where there is none.
static wchar_t* quoted(wchar_t** line) {
  wchar_t *start = *line, *end = *start == L'"' ? wcschr(start + 1, L'"') : NULL;
  if (!end) return NULL;
  *end = 0;
  *line = end[1] == L' ' ? end + 2 : end + 1;
  return start + 1;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR line, int show) {
  (void)instance, (void)previous, (void)show;
  BOOL runas = !wcsncmp(line, L"--runas ", 8);
  if (!runas && wcsncmp(line, L"--start ", 8)) return uninstall(line);
  line += 8;
  wchar_t *folder = quoted(&line), *program = folder ? quoted(&line) : NULL;
  if (!program) return kFailed;
  return runas ? run_as_admin(program, line, folder) : start_as_user(program, line, folder);
}
