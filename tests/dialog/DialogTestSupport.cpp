#include "DialogTestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

BEGIN_MESSAGE_MAP(CTestApp, CWinApp)
ON_COMMAND(ID_HELP, &CTestApp::OnHelpCommand)
END_MESSAGE_MAP()

namespace {
CTestApp g_app;
std::map<UINT_PTR, std::function<void()>> g_pending;

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    auto it = g_pending.find(id);
    if (it == g_pending.end())
        return;
    std::function<void()> work = std::move(it->second);
    g_pending.erase(it);
    work();
}

BOOL CALLBACK FindByCaption(HWND wnd, LPARAM param) {
    auto* search = reinterpret_cast<std::pair<LPCSTR, HWND>*>(param);
    char caption[256] = "";
    ::GetWindowTextA(wnd, caption, sizeof caption);
    if (lstrcmpA(caption, search->first) != 0)
        return TRUE;
    search->second = wnd;
    return FALSE;
}
} // namespace

CTestApp& TestApp() { return g_app; }

void RunLater(UINT ms, std::function<void()> work) {
    UINT_PTR id = ::SetTimer(nullptr, 0, ms, OnTimer);
    ASSERT_NE(0u, id);
    g_pending[id] = std::move(work);
}

INT_PTR RunDialog(CDialog& dlg, std::function<void()> body) {
    auto done = std::make_shared<bool>(false);
    RunLater(100, [body, done] {
        body();
        *done = true;
    });
    RunLater(20000, [&dlg, done] {
        if (dlg.m_hWnd) {
            ADD_FAILURE() << "the dialog was still open after 20 s";
            ::EndDialog(dlg.m_hWnd, -2);
        }
    });
    INT_PTR result = dlg.DoModal();
    EXPECT_TRUE(*done) << "the dialog ended before the test body ran";
    return result;
}

RECT ControlRect(HWND dlg, HWND control) {
    RECT rect = {};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

RECT DialogUnitsToPixels(HWND dlg, int x, int y, int cx, int cy) {
    // The dialog manager converts the position and the size each on its own, so the size is rounded by
    // itself, not as the difference of two rounded edges.
    RECT units = {x, y, cx, cy};
    ::MapDialogRect(dlg, &units);
    return RECT{units.left, units.top, units.left + units.right, units.top + units.bottom};
}

HWND FindThreadWindow(LPCSTR caption) {
    std::pair<LPCSTR, HWND> search(caption, nullptr);
    ::EnumThreadWindows(::GetCurrentThreadId(), FindByCaption, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

CTempCurrentDir::CTempCurrentDir() {
    ::GetCurrentDirectoryA(sizeof m_previous, m_previous);
    char base[MAX_PATH];
    ::GetTempPathA(sizeof base, base);
    char name[MAX_PATH];
    ::GetTempFileNameA(base, "qdt", 0, name);
    ::DeleteFileA(name);
    ::CreateDirectoryA(name, nullptr);
    m_path = name;
    ::SetCurrentDirectoryA(name);
}

CTempCurrentDir::~CTempCurrentDir() {
    ::SetCurrentDirectoryA(m_previous);
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA((m_path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                ::DeleteFileA((m_path + "\\" + found.cFileName).c_str());
        } while (::FindNextFileA(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryA(m_path.c_str());
}

void CTempCurrentDir::WriteFile(LPCSTR name, const std::string& content) const {
    HANDLE file = ::CreateFileA((m_path + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    ::WriteFile(file, content.data(), (DWORD)content.size(), &written, nullptr);
    ::CloseHandle(file);
}
