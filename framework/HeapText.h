// CHeapText: a zeroed UTF-16 buffer on the process heap, for a text too long for the stack (a path of up
// to 32,767 characters, a command line of three); freed once, by its one owner. Null where the heap had no
// room for it.
#pragma once

#include <windows.h>

class CHeapText {
public:
    explicit CHeapText(size_t characters)
        : m_text(static_cast<WCHAR*>(
              ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, characters * sizeof(WCHAR)))) {}
    ~CHeapText() {
        if (m_text != nullptr)
            ::HeapFree(::GetProcessHeap(), 0, m_text);
    }
    CHeapText(const CHeapText&) = delete;
    CHeapText& operator=(const CHeapText&) = delete;

    WCHAR* Get() const { return m_text; }
    explicit operator bool() const { return m_text != nullptr; }

private:
    WCHAR* m_text;
};
