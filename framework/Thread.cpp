#include "Thread.h"

#include <process.h>

#include <cerrno>
#include <new>

namespace {

struct ThreadStart {
    AFX_THREADPROC proc;
    LPVOID param;
};

unsigned __stdcall ThreadEntry(void* start)
{
    const ThreadStart copy = *static_cast<ThreadStart*>(start);
    delete static_cast<ThreadStart*>(start);
    return copy.proc(copy.param);
}

} // namespace

ScopedHandle AfxBeginThread(AFX_THREADPROC proc, LPVOID param)
{
    auto* start = new (std::nothrow) ThreadStart{proc, param};
    if (start == nullptr) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return ScopedHandle();
    }
    const uintptr_t thread = _beginthreadex(nullptr, 0, ThreadEntry, start, 0, nullptr);
    if (thread == 0) {
        const DWORD error = ::GetLastError();
        delete start;
        ::SetLastError(error != 0 ? error : ERROR_NOT_ENOUGH_MEMORY);
        return ScopedHandle();
    }
    return ScopedHandle(reinterpret_cast<HANDLE>(thread));
}
