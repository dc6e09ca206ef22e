// CHandle: an owned kernel handle, closed once, when the object goes or is given another. Null and
// INVALID_HANDLE_VALUE are both "none": the functions that make handles fail with one or the other, and
// neither is closed. Move-only: whoever holds the object owns the handle; Detach hands it on.
#pragma once

#include <windows.h>

class CHandle {
public:
    CHandle() : m_h(nullptr) {}
    explicit CHandle(HANDLE h) : m_h(h) {}
    ~CHandle() { Reset(); }
    CHandle(CHandle&& other) : m_h(other.Detach()) {}
    CHandle& operator=(CHandle&& other) {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    static bool IsNone(HANDLE h) { return h == nullptr || h == INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return !IsNone(m_h); }
    HANDLE Get() const { return m_h; }
    // The handle is no longer this object's to close.
    HANDLE Detach() {
        HANDLE h = m_h;
        m_h = nullptr;
        return h;
    }
    // Closes the handle held, unless it is `h` itself, and holds `h` instead.
    void Reset(HANDLE h = nullptr) {
        HANDLE old = m_h;
        m_h = h;
        if (old != h && !IsNone(old))
            ::CloseHandle(old);
    }

private:
    HANDLE m_h;
};
