// The exported operations of Fetchkit.dll: thin shims over the transfer table.
#include "Fetchkit.h"
#include "TransferTable.h"

FETCHKIT_API BOOL WINAPI Fetchkit_Initialize()
{
    Transfers().Initialize();
    return TRUE;
}

FETCHKIT_API BOOL WINAPI Fetchkit_Uninitialize()
{
    return Transfers().Uninitialize();
}

FETCHKIT_API FETCHKIT_HANDLE WINAPI Fetchkit_StartDownload(const wchar_t* url, const wchar_t* path,
                                                           DWORD stallTimeoutMs, DWORD flags)
{
    return Transfers().Start(url, path, stallTimeoutMs, flags);
}

FETCHKIT_API LONG WINAPI Fetchkit_GetStatus(FETCHKIT_HANDLE handle)
{
    const auto transfer = Transfers().Find(handle);
    if (!transfer) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return transfer->Status();
}

FETCHKIT_API BOOL WINAPI Fetchkit_GetProgress(FETCHKIT_HANDLE handle, LONGLONG* received, LONGLONG* total)
{
    const auto transfer = Transfers().Find(handle);
    if (!transfer) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    LONGLONG receivedNow = 0, totalNow = 0;
    transfer->Progress(receivedNow, totalNow);
    if (received)
        *received = receivedNow;
    if (total)
        *total = totalNow;
    return TRUE;
}

FETCHKIT_API DWORD WINAPI Fetchkit_GetError(FETCHKIT_HANDLE handle)
{
    const auto transfer = Transfers().Find(handle);
    return transfer ? transfer->Error() : ERROR_INVALID_HANDLE;
}

FETCHKIT_API BOOL WINAPI Fetchkit_Cancel(FETCHKIT_HANDLE handle)
{
    const auto transfer = Transfers().Find(handle);
    if (!transfer) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    transfer->Cancel();
    return TRUE;
}
