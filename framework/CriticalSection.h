// CCriticalSection: a critical section that lives as long as its object. CLockGuard: the section held
// for the life of the guard, so that every way out of a block releases it. A section is entered through
// a guard only.
#pragma once

#include <windows.h>

class CCriticalSection {
public:
    CCriticalSection() { ::InitializeCriticalSection(&m_section); }
    ~CCriticalSection() { ::DeleteCriticalSection(&m_section); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

private:
    friend class CLockGuard;
    CRITICAL_SECTION m_section;
};

class CLockGuard {
public:
    explicit CLockGuard(CCriticalSection& lock) : m_lock(lock) { ::EnterCriticalSection(&m_lock.m_section); }
    ~CLockGuard() { ::LeaveCriticalSection(&m_lock.m_section); }
    CLockGuard(const CLockGuard&) = delete;
    CLockGuard& operator=(const CLockGuard&) = delete;

private:
    CCriticalSection& m_lock;
};
