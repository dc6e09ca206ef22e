// The main dialog's setting controls seen as the configuration reader's view.
#pragma once

#include "config/ConfigReader.h"
#include "framework/Controls.h"

class CConfigControls final : public CConfigView {
public:
    CConfigControls(CEdit& login, CEdit& password, CEdit& udpServer, CEdit& httpServer, CSliderCtrl& interval,
                    CStatic& intervalLabel);

    void SetText(int controlId, LPCSTR text) override;
    void GetText(int controlId, LPSTR buf, int size) override;
    void SetIntervalPos(int pos) override;

private:
    CWnd* FindTextControl(int controlId) const;

    CEdit& m_login;
    CEdit& m_password;
    CEdit& m_udpServer;
    CEdit& m_httpServer;
    CSliderCtrl& m_interval;
    CStatic& m_intervalLabel;
};
