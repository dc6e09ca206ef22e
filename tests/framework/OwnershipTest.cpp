// The scoped owners: a handle is closed once, by whoever holds it last, and never as "none"; a lock is
// held for exactly the life of its guard.
#include "framework/CriticalSection.h"
#include "framework/Handle.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>

namespace {

HANDLE NewEvent() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }

bool IsOpen(HANDLE h) {
    DWORD flags = 0;
    return GetHandleInformation(h, &flags) != FALSE;
}

struct CShared {
    CCriticalSection section;
    LONG taken = 0;
};

DWORD WINAPI TakeLock(LPVOID param) {
    CShared* shared = (CShared*)param;
    CLockGuard lock(shared->section);
    return InterlockedExchange(&shared->taken, 1);
}

TEST(Ownership, AHandleIsClosedOnceAndALockHeldForItsGuardsLife) {
    const HANDLE first = NewEvent(), second = NewEvent();
    {
        CHandle a(first);
        CHandle b(std::move(a));
        EXPECT_TRUE(!a && a.Get() == nullptr && b.Get() == first) << "moved from, it holds none";
        a = std::move(b);
        a.Reset(first);
        EXPECT_TRUE(IsOpen(first)) << "given the handle it holds: kept";
        a.Reset(second);
        EXPECT_TRUE(!IsOpen(first) && IsOpen(second)) << "closed as another takes its place";
        a.Reset(a.Detach());
    }
    EXPECT_FALSE(IsOpen(second)) << "closed as its owner goes";

    // A value once closed comes back with the next handle: an owner that closed twice would close that.
    for (int way = 0; way < 3; ++way) {
        auto owner = std::make_unique<CHandle>(NewEvent());
        if (way == 0) {
            owner->Reset();
        } else if (way == 1) {
            CHandle taker(std::move(*owner));
        } else {
            CHandle taker;
            taker = std::move(*owner);
        }
        const HANDLE next = NewEvent();
        owner->Reset();
        owner.reset();
        EXPECT_TRUE(IsOpen(next)) << way;
        CloseHandle(next);
    }
    EXPECT_FALSE(CHandle() || CHandle(INVALID_HANDLE_VALUE) || !CHandle::IsNone(INVALID_HANDLE_VALUE));

    CShared shared;
    CHandle other;
    {
        CLockGuard lock(shared.section);
        other.Reset(CreateThread(nullptr, 0, TakeLock, &shared, 0, nullptr));
        EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(other.Get(), 300)) << "held while the guard lives";
    }
    EXPECT_TRUE(WaitForSingleObject(other.Get(), 5000) == WAIT_OBJECT_0 && shared.taken == 1);
}

} // namespace
