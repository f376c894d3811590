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
FETCHKIT_API BOOL WINAPI Fetchkit_Uninitialize();

// Starts fetching |url| into a new file at |path| and returns at once. |stallTimeoutMs| is the time
// without a received byte after which the transfer fails (0: 30 seconds); |flags| is reserved, 0.
FETCHKIT_API FETCHKIT_HANDLE WINAPI Fetchkit_StartDownload(const wchar_t* url, const wchar_t* path,
                                                           DWORD stallTimeoutMs, DWORD flags);
FETCHKIT_API LONG WINAPI Fetchkit_GetStatus(FETCHKIT_HANDLE handle);
// Bytes received so far and the total from Content-Length (0 while unknown).
FETCHKIT_API BOOL WINAPI Fetchkit_GetProgress(FETCHKIT_HANDLE handle, LONGLONG* received, LONGLONG* total);
// The failure code of a failed transfer; never 0 once the status is FAILED.
FETCHKIT_API DWORD WINAPI Fetchkit_GetError(FETCHKIT_HANDLE handle);
FETCHKIT_API BOOL WINAPI Fetchkit_Cancel(FETCHKIT_HANDLE handle);
