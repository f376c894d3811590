#pragma once
// Owners for WinINet handles and the asynchronous request that the transfer waits on.
#include "ScopedHandle.h"

#include <windows.h>
#include <wininet.h>

struct InternetHandleTraits {
    using Type = HINTERNET;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::InternetCloseHandle(h); }
};

// A session, connection or request handle; closing a parent also ends its children.
using ScopedInternet = ScopedResource<InternetHandleTraits>;

// Opens a session in asynchronous mode with the user's own proxy settings, no cache and no UI, with
// |timeoutMs| as its connect, send and receive timeouts.
DWORD OpenSession(ScopedInternet& session, DWORD timeoutMs);

// An HTTP request on an asynchronous session. Its operations may complete later on a thread of WinINet;
// Wait gives their result. The completion record outlives the handle until WinINet's last callback for it,
// so an operation abandoned by a cancel can still finish safely.
class AsyncRequest {
public:
    AsyncRequest() = default;
    ~AsyncRequest();
    AsyncRequest(const AsyncRequest&) = delete;
    AsyncRequest& operator=(const AsyncRequest&) = delete;

    DWORD Open(HINTERNET connection, const wchar_t* object, DWORD flags);
    HINTERNET Get() const { return m_handle; }

    // Waits for the operation that failed with ERROR_IO_PENDING. Gives its result, ERROR_CANCELLED once
    // |cancel| is set, or ERROR_INTERNET_TIMEOUT after |timeoutMs| without completion.
    DWORD Wait(HANDLE cancel, DWORD timeoutMs, DWORD* result = nullptr);

private:
    friend DWORD OpenSession(ScopedInternet& session, DWORD timeoutMs);
    struct Completion;
    static void CALLBACK StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD);
    static void Release(Completion* completion);

    HINTERNET m_handle = nullptr;
    Completion* m_completion = nullptr;
};
