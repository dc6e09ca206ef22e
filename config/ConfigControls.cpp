#include "config/ConfigControls.h"

#include "res/resource.h"

CConfigControls::CConfigControls(CEdit& login, CEdit& password, CEdit& udpServer, CEdit& httpServer,
                                 CSliderCtrl& interval, CStatic& intervalLabel)
    : m_login(login), m_password(password), m_udpServer(udpServer), m_httpServer(httpServer),
      m_interval(interval), m_intervalLabel(intervalLabel) {}

CWnd* CConfigControls::FindTextControl(int controlId) const {
    switch (controlId) {
    case IDC_LOGIN:
        return &m_login;
    case IDC_PASSWORD:
        return &m_password;
    case IDC_UDP_SERVER:
        return &m_udpServer;
    case IDC_HTTP_SERVER:
        return &m_httpServer;
    case IDC_INTERVAL_LABEL:
        return &m_intervalLabel;
    default:
        return nullptr;
    }
}

void CConfigControls::SetText(int controlId, LPCSTR text) {
    if (CWnd* control = FindTextControl(controlId))
        control->SetWindowText(text);
}

void CConfigControls::GetText(int controlId, LPSTR buf, int size) {
    if (size <= 0)
        return;
    buf[0] = '\0';
    // GetWindowTextA copies at most size - 1 bytes and ends them with a zero, however long the text.
    if (CWnd* control = FindTextControl(controlId))
        control->GetWindowText(buf, size);
    buf[size - 1] = '\0';
}

void CConfigControls::SetIntervalPos(int pos) { m_interval.SetPos(pos); }
