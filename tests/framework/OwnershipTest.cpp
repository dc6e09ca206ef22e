// The scoped owners: a handle is closed once, by whoever holds it last, and never as "none"; a lock is
// held for exactly the life of its guard.
#include "framework/CriticalSection.h"
#include "framework/Handle.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

CCriticalSection g_section;

DWORD WINAPI TakeLock(LPVOID) { return CLockGuard(g_section), 0; }

// The value of a handle just closed comes back with the next one made: an owner that closed twice, or
// closed what it had handed on, would close that one.
TEST(Ownership, AHandleIsClosedOnceAndALockHeldForItsGuardsLife) {
    DWORD flags;
    for (int way = 0; way < 4; ++way) {
        const HANDLE held = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        CHandle owner(held), taker;
        if (way == 1)
            taker = std::move(owner);
        else if (way == 2)
            CHandle gone(std::move(owner));
        else if (way == 3)
            owner.Reset(held), owner.Reset(owner.Detach());
        EXPECT_TRUE(way % 3 == 0 ? owner.Get() == held && GetHandleInformation(held, &flags) : !owner) << way;
        owner.Reset(), taker.Reset();
        EXPECT_FALSE(GetHandleInformation(held, &flags)) << way;
        const HANDLE next = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        owner.Reset(), taker.Reset();
        EXPECT_TRUE(GetHandleInformation(next, &flags)) << way;
        CloseHandle(next);
    }
    EXPECT_FALSE(CHandle() || CHandle(INVALID_HANDLE_VALUE));

    CHandle other;
    {
        CLockGuard lock(g_section);
        other.Reset(CreateThread(nullptr, 0, TakeLock, nullptr, 0, nullptr));
        EXPECT_EQ(WAIT_TIMEOUT, (int)WaitForSingleObject(other.Get(), 300)) << "held while the guard lives";
    }
    EXPECT_EQ(WAIT_OBJECT_0, (int)WaitForSingleObject(other.Get(), 5000));
}

} // namespace
