// Reads config.ini into the read-only setting controls of the main dialog.
#pragma once

#include <windows.h>

// Where the reader puts what it finds. The dialog hands in its real controls (CConfigControls); tests
// hand in a recording stand-in. Control identifiers are those of res/resource.h.
class CConfigView {
public:
    virtual void SetText(int controlId, LPCSTR text) = 0;
    // Copies at most size - 1 bytes of the control's current text into buf and always ends it with a
    // zero byte, however long the text is (size > 0).
    virtual void GetText(int controlId, LPSTR buf, int size) = 0;
    virtual void SetIntervalPos(int pos) = 0;

protected:
    ~CConfigView() = default;
};

// Applies every recognised key=value line of the file, in file order. Returns false, touching nothing,
// when the file cannot be opened; true otherwise, whatever it held.
bool ReadConfig(LPCSTR fileName, CConfigView& view);
