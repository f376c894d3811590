#include "InternetHandle.h"

#include <memory>
#include <new>

struct AsyncRequest::Completion {
    LONG references = 2;  // the request's and WinINet's
    ScopedHandle event{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    DWORD error = 0;
    DWORD result = 0;
};

DWORD OpenSession(ScopedInternet& session, DWORD timeoutMs)
{
    session.Reset(::InternetOpenW(L"Fetchkit/1.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                  INTERNET_FLAG_ASYNC));
    if (!session)
        return ::GetLastError();
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT})
        ::InternetSetOptionW(session.Get(), option, &timeoutMs, sizeof(timeoutMs));
    if (::InternetSetStatusCallbackW(session.Get(), AsyncRequest::StatusCallback) == INTERNET_INVALID_STATUS_CALLBACK)
        return ::GetLastError();
    return ERROR_SUCCESS;
}

AsyncRequest::~AsyncRequest()
{
    if (m_handle)
        ::InternetCloseHandle(m_handle);
    if (m_completion)
        Release(m_completion);
}

DWORD AsyncRequest::Open(HINTERNET connection, const wchar_t* object, DWORD flags)
{
    std::unique_ptr<Completion> completion(new (std::nothrow) Completion);
    if (!completion)
        return ERROR_OUTOFMEMORY;
    if (!completion->event)
        return ::GetLastError();
    m_handle = ::HttpOpenRequestW(connection, L"GET", object, nullptr, nullptr, nullptr, flags,
                                  reinterpret_cast<DWORD_PTR>(completion.get()));
    if (!m_handle)
        return ::GetLastError();
    m_completion = completion.release();
    return ERROR_SUCCESS;
}

DWORD AsyncRequest::Wait(HANDLE cancel, DWORD timeoutMs, DWORD* result)
{
    const HANDLE events[] = {m_completion->event.Get(), cancel};
    switch (::WaitForMultipleObjects(2, events, FALSE, timeoutMs)) {
    case WAIT_OBJECT_0:
        if (result)
            *result = m_completion->result;
        return m_completion->error;
    case WAIT_OBJECT_0 + 1:
        return ERROR_CANCELLED;
    case WAIT_TIMEOUT:
        return ERROR_INTERNET_TIMEOUT;
    default:
        return ::GetLastError();
    }
}

void CALLBACK AsyncRequest::StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD)
{
    // The session and connection handles carry no context; only requests do.
    auto* completion = reinterpret_cast<Completion*>(context);
    if (!completion)
        return;
    if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
        const auto* outcome = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        completion->result = static_cast<DWORD>(outcome->dwResult);
        completion->error = outcome->dwError;
        ::SetEvent(completion->event.Get());
    } else if (status == INTERNET_STATUS_HANDLE_CLOSING) {
        Release(completion);
    }
}

void AsyncRequest::Release(Completion* completion)
{
    if (::InterlockedDecrement(&completion->references) == 0)
        delete completion;
}
