// How a run's child is created and held: it is given its own end of the pipe and no other handle, and
// it runs in a job of its run, so that whatever the script starts ends with the run, and every script
// ends with the program, however the program ends (the system closes the job handles then).
#include "console/Console.h"

namespace {

// The attribute list that names the handles a child inherits exists from Vista on. The program still
// runs where it does not, so its functions are looked up at run time and its constants stated here.
const DWORD kExtendedStartupInfoPresent = 0x00080000;
const DWORD_PTR kAttributeHandleList = 0x00020002;

struct CStartupInfoEx {
    STARTUPINFOA StartupInfo;
    void* lpAttributeList;
};

typedef BOOL(WINAPI* InitializeAttributeListFn)(void*, DWORD, DWORD, SIZE_T*);
typedef BOOL(WINAPI* UpdateAttributeFn)(void*, DWORD, DWORD_PTR, void*, SIZE_T, void*, SIZE_T*);
typedef void(WINAPI* DeleteAttributeListFn)(void*);

struct CAttributeListApi {
    InitializeAttributeListFn initialize;
    UpdateAttributeFn update;
    DeleteAttributeListFn remove;
};

template <typename Fn> Fn Lookup(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Looked up for every child rather than kept in a function's static: a static initialised at run time
// would bring in the C++ runtime's thread-safe guards, with its exception machinery, for three pointers.
CAttributeListApi AttributeListApi() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    CAttributeListApi found = {
        Lookup<InitializeAttributeListFn>(kernel, "InitializeProcThreadAttributeList"),
        Lookup<UpdateAttributeFn>(kernel, "UpdateProcThreadAttribute"),
        Lookup<DeleteAttributeListFn>(kernel, "DeleteProcThreadAttributeList"),
    };
    if (!found.initialize || !found.update || !found.remove)
        found = CAttributeListApi();
    return found;
}

// An attribute list that gives a child `*handle` and nothing else, or null where there is none. The
// handle's variable must outlive the list.
void* NewHandleList(const CAttributeListApi& api, HANDLE* handle) {
    SIZE_T size = 0;
    if (!api.initialize)
        return nullptr;
    api.initialize(nullptr, 1, 0, &size);
    void* list = size ? HeapAlloc(GetProcessHeap(), 0, size) : nullptr;
    if (list == nullptr)
        return nullptr;
    if (api.initialize(list, 1, 0, &size)) {
        if (api.update(list, 0, kAttributeHandleList, handle, sizeof *handle, nullptr, nullptr))
            return list;
        api.remove(list);
    }
    HeapFree(GetProcessHeap(), 0, list);
    return nullptr;
}

} // namespace

// Inheriting handles at all is needed for the child's standard output; the list narrows it to the
// write end, so a child never holds the other console's pipe, not even when both create at once.
// Without the list the child inherits what is inheritable, which in this program is the write ends.
// No console window in any case: CREATE_NO_WINDOW gives the child a console of its own that has no
// window at all. With CREATE_NEW_CONSOLE it would be ignored, and the new console shown, or handed to a
// terminal (Windows Terminal, where it is the default) that ignores SW_HIDE. The child is suspended.
BOOL CConsole::CreateProcessWithOwnPipe(char* commandLine, DWORD flags, CHandle& process, CHandle& thread) {
    const CAttributeListApi api = AttributeListApi();
    HANDLE inherited = m_hPipeWrite.Get();
    CStartupInfoEx startup = {m_si, NewHandleList(api, &inherited)};
    flags |= CREATE_NO_WINDOW | CREATE_SUSPENDED;
    if (startup.lpAttributeList != nullptr) {
        startup.StartupInfo.cb = sizeof startup;
        flags |= kExtendedStartupInfoPresent;
    }
    PROCESS_INFORMATION pi = {};
    BOOL created = CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                  &startup.StartupInfo, &pi);
    if (created) {
        process.Reset(pi.hProcess);
        thread.Reset(pi.hThread);
    }
    // The reason a child could not be created goes into the history: freeing the list must not change it.
    const DWORD error = GetLastError();
    if (startup.lpAttributeList != nullptr) {
        api.remove(startup.lpAttributeList);
        HeapFree(GetProcessHeap(), 0, startup.lpAttributeList);
    }
    SetLastError(error);
    return created;
}

// A child that could not join its job has not run a single instruction of its own yet: it ends here,
// before the next one is made.
void CConsole::EndSuspendedChild(CHandle& process, CHandle& thread) {
    TerminateProcess(process.Get(), 0);
    WaitForSingleObject(process.Get(), kEndWaitMs);
    process.Reset();
    thread.Reset();
}

// A job of its own for each run: nothing of an earlier run can be in it, not even a process that was
// being started while that run's job was ended. Null when no job can be made or joined (an older
// system, or this program started inside a job that allows no other).
HANDLE CConsole::JoinNewJob(HANDLE process) {
    CHandle job(CreateJobObjectA(nullptr, nullptr));
    if (!job)
        return nullptr;
    // A crashing script ends at once instead of waiting on an error report that nobody sees.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits) &&
        AssignProcessToJobObject(job.Get(), process))
        return job.Detach();
    return nullptr;
}
