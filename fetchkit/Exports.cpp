// The exported operations of Fetchkit.dll.
#include "Fetchkit.h"

namespace {
LONG g_initializeCount = 0;
}

FETCHKIT_API BOOL WINAPI Fetchkit_Initialize()
{
    ::InterlockedIncrement(&g_initializeCount);
    return TRUE;
}

FETCHKIT_API BOOL WINAPI Fetchkit_Uninitialize()
{
    return ::InterlockedDecrement(&g_initializeCount) >= 0;
}

FETCHKIT_API FETCHKIT_HANDLE WINAPI Fetchkit_StartDownload(const wchar_t*, const wchar_t*, DWORD, DWORD)
{
    return 0;
}

FETCHKIT_API LONG WINAPI Fetchkit_GetStatus(FETCHKIT_HANDLE)
{
    return 0;
}

FETCHKIT_API BOOL WINAPI Fetchkit_GetProgress(FETCHKIT_HANDLE, LONGLONG*, LONGLONG*)
{
    return FALSE;
}

FETCHKIT_API DWORD WINAPI Fetchkit_GetError(FETCHKIT_HANDLE)
{
    return ERROR_INVALID_HANDLE;
}

FETCHKIT_API BOOL WINAPI Fetchkit_Cancel(FETCHKIT_HANDLE)
{
    return FALSE;
}
