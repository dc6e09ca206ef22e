// CDialog: a dialog made from a template and run modally or modeless; CDataExchange and DDX_Control bind the
// dialog's control objects to its controls.
#pragma once

#include "framework/Wnd.h"

class CDialog;

class CDataExchange {
public:
    CDataExchange(CDialog* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

    BOOL m_bSaveAndValidate; // TRUE: from the controls into the object
    CDialog* m_pDlgWnd;
};

// Binds a control object to the dialog's control by identifier: it takes the control's window handle.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr)
        : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

    // Creates the dialog from its template and runs it until EndDialog; the window is gone on return.
    // The owner is the parent's window, else the application's main window if that is another window
    // that exists. -1 when the dialog cannot be created.
    INT_PTR DoModal();
    BOOL EndDialog(int nResult) const { return ::EndDialog(m_hWnd, nResult); }
    // Creates the dialog modeless, owned by pOwner's window, and shows it if its template says so. It lives
    // until DestroyWindow (a modeless dialog's OnCancel must destroy it: EndDialog only hides it). FALSE when
    // it cannot be created.
    BOOL Create(CWnd* pOwner);

    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange*) {}
    virtual void OnOK();
    virtual void OnCancel();

protected:
    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void Detach();
};
