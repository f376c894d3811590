// fetchkit-get [--stats] [--stall-timeout MS] URL PATH
// Starts the transfer, polls it every 100 ms while printing the progress, and exits with 0 or the
// transfer's error code. Ctrl+C cancels. --stats prints the time taken and the peak memory at the end.
#include "Fetchkit.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {
volatile LONG g_cancelRequested = 0;

BOOL WINAPI OnConsoleControl(DWORD)
{
    ::InterlockedExchange(&g_cancelRequested, 1);
    return TRUE;
}

void PrintProgress(LONGLONG received, LONGLONG total)
{
    if (total > 0)
        std::fwprintf(stderr, L"\r%lld / %lld bytes (%d%%)", received, total,
                      static_cast<int>(received * 100 / total));
    else
        std::fwprintf(stderr, L"\r%lld bytes", received);
}

void PrintStats(ULONGLONG elapsedMs, LONGLONG received)
{
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof(memory);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
    const double seconds = elapsedMs / 1000.0;
    std::wprintf(L"elapsed_ms=%llu bytes=%lld mib_per_s=%.1f peak_working_set_kib=%lu peak_private_kib=%lu\n",
                 elapsedMs, received, seconds > 0 ? received / 1048576.0 / seconds : 0.0,
                 static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024),
                 static_cast<unsigned long>(memory.PeakPagefileUsage / 1024));
}

int Usage()
{
    std::fwprintf(stderr, L"usage: fetchkit-get [--stats] [--stall-timeout MS] URL PATH\n");
    return ERROR_BAD_ARGUMENTS;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    bool stats = false;
    DWORD stallTimeoutMs = 0;
    int next = 1;
    for (; next < argc && std::wcsncmp(argv[next], L"--", 2) == 0; ++next) {
        if (std::wcscmp(argv[next], L"--stats") == 0)
            stats = true;
        else if (std::wcscmp(argv[next], L"--stall-timeout") == 0 && next + 1 < argc)
            stallTimeoutMs = std::wcstoul(argv[++next], nullptr, 10);
        else
            return Usage();
    }
    if (argc - next != 2)
        return Usage();

    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    Fetchkit_Initialize();
    const ULONGLONG started = ::GetTickCount64();
    const FETCHKIT_HANDLE handle = Fetchkit_StartDownload(argv[next], argv[next + 1], stallTimeoutMs, 0);
    LONG status = FETCHKIT_STATUS_RUNNING;
    LONGLONG received = 0, total = 0;
    bool cancelSent = false;
    for (;;) {
        status = Fetchkit_GetStatus(handle);
        Fetchkit_GetProgress(handle, &received, &total);
        if (status != FETCHKIT_STATUS_RUNNING)
            break;
        if (g_cancelRequested && !cancelSent) {
            Fetchkit_Cancel(handle);
            cancelSent = true;
        }
        PrintProgress(received, total);
        ::Sleep(100);
    }
    const ULONGLONG elapsedMs = ::GetTickCount64() - started;
    PrintProgress(received, total);
    std::fwprintf(stderr, L"\n");

    DWORD exitCode = ERROR_SUCCESS;
    switch (status) {
    case FETCHKIT_STATUS_COMPLETE:
        std::wprintf(L"complete: %lld bytes\n", received);
        break;
    case FETCHKIT_STATUS_CANCELLED:
        exitCode = ERROR_CANCELLED;
        std::wprintf(L"cancelled\n");
        break;
    case FETCHKIT_STATUS_FAILED:
        exitCode = Fetchkit_GetError(handle);
        std::wprintf(L"failed: 0x%08lX\n", exitCode);
        break;
    default:
        exitCode = ERROR_INVALID_HANDLE;
        std::wprintf(L"unexpected status %ld\n", status);
        break;
    }
    if (stats)
        PrintStats(elapsedMs, received);
    Fetchkit_Uninitialize();
    return static_cast<int>(exitCode);
}
