#include "framework/Dialog.h"

#include "framework/App.h"

namespace {

// Messages whose result the dialog procedure returns itself rather than through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}

} // namespace

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    rControl.m_hWnd = pDX->m_pDlgWnd->GetDlgItem(nIDC);
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, &CDialog::OnOK)
ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

INT_PTR CDialog::DoModal() {
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (!owner) {
        CWinApp* app = AfxGetApp();
        CWnd* mainWnd = app ? app->m_pMainWnd : nullptr;
        if (mainWnd && mainWnd != this && mainWnd->m_hWnd)
            owner = mainWnd->m_hWnd;
    }
    return ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), owner, DialogProc,
                             (LPARAM)this);
}

BOOL CDialog::Create(CWnd* pOwner) {
    return ::CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate),
                                pOwner ? pOwner->m_hWnd : nullptr, DialogProc, (LPARAM)this) != nullptr;
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        CDialog* dlg = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
        dlg->m_hWnd = hWnd;
        return dlg->OnInitDialog();
    }
    // Messages that come before WM_INITDIALOG (WM_SETFONT and the creation messages) find no object.
    CDialog* dlg = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
    if (!dlg)
        return FALSE;
    INT_PTR handled = dlg->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY)
        dlg->Detach();
    return handled;
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    // A handler may handle further messages of this window before it returns (a nested modal loop,
    // a sent message); each keeps its own request for the default handling.
    const bool outer = m_bDefaultHandling;
    m_bDefaultHandling = false;
    LRESULT result = 0;
    const BOOL handled = OnWndMsg(message, wParam, lParam, &result);
    const bool wantsDefault = m_bDefaultHandling;
    m_bDefaultHandling = outer;

    if (!handled || wantsDefault)
        return FALSE;
    if (ReturnsResultDirectly(message))
        return (INT_PTR)result;
    ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}

// The window is gone: forget it, and stop being the application's main window. No quit request is
// posted here, so a later modal loop on this thread (another dialog) still runs.
void CDialog::Detach() {
    ::SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
    m_hWnd = nullptr;
    StopBeingMainWindow();
}
