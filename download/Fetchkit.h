#pragma once
// Interface of Fetchkit.dll, the transfer library. The executable imports it by ordinal only:
//   1 StartDownload  2 GetProgress  3 Uninitialize  4 GetStatus  5 GetError  6 Cancel  8 Initialize
#include <windows.h>

#ifdef FETCHKIT_BUILDING_DLL
#define FETCHKIT_API extern "C"
#else
#define FETCHKIT_API extern "C" __declspec(dllimport)
#endif

// Opaque transfer handle; 0 is never a valid one.
typedef DWORD FETCHKIT_HANDLE;

enum : LONG {
    FETCHKIT_STATUS_RUNNING = 1,
    FETCHKIT_STATUS_COMPLETE = 2,
    FETCHKIT_STATUS_FAILED = 3,
    FETCHKIT_STATUS_CANCELLED = 4,
};

FETCHKIT_API BOOL WINAPI Fetchkit_Initialize();
// The last balancing call cancels what still runs, waits (at most 10 seconds) for every transfer thread,
// whose files are then complete or deleted, and forgets every handle.
FETCHKIT_API BOOL WINAPI Fetchkit_Uninitialize();

// Starts fetching |url| (http or https) into a new file at |path| and returns at once; the transfer runs
// on a thread of the library's own. |stallTimeoutMs| is the time without progress (connecting, waiting
// for the reply, or between two received blocks) after which the transfer fails with
// ERROR_INTERNET_TIMEOUT; 0 means 30 seconds. |flags| is reserved and must be 0: any other value fails
// the transfer with ERROR_INVALID_PARAMETER. Even a transfer that cannot start gets a handle whose
// status is FAILED with a non-zero error; 0 comes back only when memory runs out.
FETCHKIT_API FETCHKIT_HANDLE WINAPI Fetchkit_StartDownload(const wchar_t* url, const wchar_t* path,
                                                           DWORD stallTimeoutMs, DWORD flags);
// An unknown handle gives status 0, GetLastError() ERROR_INVALID_HANDLE.
FETCHKIT_API LONG WINAPI Fetchkit_GetStatus(FETCHKIT_HANDLE handle);
// Bytes received so far and the total from Content-Length (0 while unknown).
FETCHKIT_API BOOL WINAPI Fetchkit_GetProgress(FETCHKIT_HANDLE handle, LONGLONG* received, LONGLONG* total);
// The failure code of a failed transfer, never 0 once the status is FAILED; ERROR_CANCELLED after a
// cancel; ERROR_INVALID_HANDLE for an unknown handle.
FETCHKIT_API DWORD WINAPI Fetchkit_GetError(FETCHKIT_HANDLE handle);
// Asks the transfer to stop and returns at once; the status turns CANCELLED within moments, once the
// partial file is deleted. A transfer already complete stays complete.
FETCHKIT_API BOOL WINAPI Fetchkit_Cancel(FETCHKIT_HANDLE handle);
