#include "Transfer.h"

#include "DestinationFile.h"
#include "Fetchkit.h"
#include "HttpResponse.h"
#include "InternetHandle.h"
#include "Url.h"

#include <memory>
#include <new>

namespace {
constexpr DWORD kDefaultStallTimeoutMs = 30000;
// A break in the body is resumed this many times in a row without new bytes, after a growing pause.
constexpr int kMaxResumes = 5;
constexpr DWORD kFirstResumeDelayMs = 250;

// Errors of a connection that broke off: the body can be resumed where it stopped.
bool IsConnectionBreak(DWORD error)
{
    switch (error) {
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
    case ERROR_INTERNET_CANNOT_CONNECT:
    case WSAECONNRESET:
    case WSAECONNABORTED:
        return true;
    default:
        return false;
    }
}

struct ThreadStart {
    std::shared_ptr<Transfer> transfer;
    HMODULE module;
};
} // namespace

Transfer::Transfer(std::wstring url, std::wstring path, DWORD stallTimeoutMs, DWORD flags)
    : m_url(std::move(url)), m_path(std::move(path)),
      m_stallTimeoutMs(stallTimeoutMs ? stallTimeoutMs : kDefaultStallTimeoutMs), m_flags(flags),
      m_cancel(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_status(FETCHKIT_STATUS_RUNNING)
{
}

void Transfer::Start(const std::shared_ptr<Transfer>& transfer)
{
    if (!transfer->m_cancel)
        return transfer->Finish(::GetLastError());
    // The thread holds a reference on this library, so its code stays loaded until the thread is gone.
    HMODULE self = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<const wchar_t*>(&Transfer::ThreadMain), &self))
        return transfer->Finish(::GetLastError());
    ScopedLibrary module(self);
    std::unique_ptr<ThreadStart> start(new (std::nothrow) ThreadStart{transfer, self});
    if (!start)
        return transfer->Finish(ERROR_OUTOFMEMORY);
    transfer->m_thread.Reset(::CreateThread(nullptr, 0, ThreadMain, start.get(), 0, nullptr));
    if (!transfer->m_thread)
        return transfer->Finish(::GetLastError());
    // The thread owns both from here on.
    start.release();
    module.Release();
}

DWORD WINAPI Transfer::ThreadMain(void* parameter)
{
    HMODULE module = nullptr;
    {
        const std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
        module = start->module;
        start->transfer->Run();
    }
    ::FreeLibraryAndExitThread(module, 0);
}

LONG Transfer::Status() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_status;
}

DWORD Transfer::Error() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_error;
}

void Transfer::Progress(LONGLONG& received, LONGLONG& total) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    received = m_received;
    total = m_total;
}

LONGLONG Transfer::Received() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_received;
}

void Transfer::Cancel()
{
    ::SetEvent(m_cancel.Get());
}

bool Transfer::IsCancelled() const
{
    return ::WaitForSingleObject(m_cancel.Get(), 0) == WAIT_OBJECT_0;
}

void Transfer::Run()
{
    DestinationFile file;
    ScopedInternet session;
    std::unique_ptr<HttpResponse> response;
    DWORD error = Download(file, session, response);
    if (error == ERROR_SUCCESS)
        error = file.Commit();
    if (error != ERROR_SUCCESS)
        file.Discard();
    // The file is whole on disk, or gone, before the status leaves RUNNING. The handles close only
    // after that: closing a request in the middle of a body may make WinINet drain the rest first.
    Finish(error);
}

void Transfer::Finish(DWORD error)
{
    const bool cancelled = error != ERROR_SUCCESS && m_cancel && IsCancelled();
    std::lock_guard<std::mutex> lock(m_lock);
    m_error = cancelled ? ERROR_CANCELLED : error;
    m_status = error == ERROR_SUCCESS ? FETCHKIT_STATUS_COMPLETE
               : cancelled            ? FETCHKIT_STATUS_CANCELLED
                                      : FETCHKIT_STATUS_FAILED;
}

DWORD Transfer::Download(DestinationFile& file, ScopedInternet& session, std::unique_ptr<HttpResponse>& response)
{
    if (m_url.empty() || m_path.empty() || m_flags != 0)
        return ERROR_INVALID_PARAMETER;
    HttpUrl url;
    if (const DWORD error = ParseHttpUrl(m_url, url))
        return error;
    if (const DWORD error = file.Create(m_path))
        return error;
    if (const DWORD error = OpenSession(session, m_stallTimeoutMs))
        return error;
    return Fetch(session.Get(), file, response);
}

DWORD Transfer::Fetch(HINTERNET session, DestinationFile& file, std::unique_ptr<HttpResponse>& response)
{
    std::wstring url = m_url;
    std::wstring validator;
    bool rangesRefused = false;
    bool started = false;
    DWORD lastBreak = ERROR_SUCCESS;
    int resumes = 0;
    for (;;) {
        if (IsCancelled())
            return ERROR_CANCELLED;
        const LONGLONG offset = Received();
        std::wstring headers;
        if (started) {
            headers = L"Range: bytes=" + std::to_wstring(offset) + L"-\r\n";
            if (!validator.empty())
                headers += L"If-Range: " + validator + L"\r\n";
        }
        response = std::make_unique<HttpResponse>();
        DWORD error = response->Send(session, url, headers, m_cancel.Get(), m_stallTimeoutMs);
        if (error == ERROR_SUCCESS) {
            error = started ? AcceptResumed(*response, offset, lastBreak)
                            : AcceptFirst(*response, validator, rangesRefused);
            if (error != ERROR_SUCCESS)
                return error;
            // A resume asks the server that answered, not the redirects on the way.
            url = response->Url();
            started = true;
            error = ReadBody(*response, file);
            if (error == ERROR_SUCCESS)
                return ERROR_SUCCESS;
        }
        if (!started || rangesRefused || !IsConnectionBreak(error))
            return error;
        lastBreak = error;
        if (Received() > offset)
            resumes = 0;
        if (++resumes > kMaxResumes)
            return error;
        if (::WaitForSingleObject(m_cancel.Get(), kFirstResumeDelayMs << (resumes - 1)) == WAIT_OBJECT_0)
            return ERROR_CANCELLED;
    }
}

DWORD Transfer::AcceptFirst(HttpResponse& response, std::wstring& validator, bool& rangesRefused)
{
    const DWORD status = response.StatusCode();
    if (status < 200 || status >= 300 || status == 206)
        return HttpStatusError(status);
    std::wstring acceptRanges;
    rangesRefused = response.Header(HTTP_QUERY_ACCEPT_RANGES, acceptRanges) && acceptRanges == L"none";
    // A strong entity tag, else the modification date, lets a resume check that the file is the same.
    if (!response.Header(HTTP_QUERY_ETAG, validator) || validator.compare(0, 2, L"W/") == 0)
        if (!response.Header(HTTP_QUERY_LAST_MODIFIED, validator))
            validator.clear();
    const LONGLONG length = response.ContentLength();
    std::lock_guard<std::mutex> lock(m_lock);
    m_total = length > 0 ? length : 0;
    return ERROR_SUCCESS;
}

DWORD Transfer::AcceptResumed(HttpResponse& response, LONGLONG offset, DWORD breakError)
{
    const DWORD status = response.StatusCode();
    if (status >= 400)
        return HttpStatusError(status);
    // Only the rest of the same body will do: a 200 would append the start a second time.
    ContentRange range;
    if (status != 206 || !response.Range(range) || range.first != offset)
        return breakError;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_total > 0 && (range.total != m_total || range.last != m_total - 1))
        return breakError;
    if (m_total == 0 && range.total > 0)
        m_total = range.total;
    return ERROR_SUCCESS;
}

DWORD Transfer::ReadBody(HttpResponse& response, DestinationFile& file)
{
    AsyncRequest& request = response.Request();
    // After a call that gave FALSE: its error, or 0 once the pending operation has completed, so the
    // loop asks again.
    const auto failedOrWaited = [&]() -> DWORD {
        const DWORD error = ::GetLastError();
        return error != ERROR_IO_PENDING ? error : request.Wait(m_cancel.Get(), m_stallTimeoutMs);
    };
    for (;;) {
        // A fast server never makes the reads wait, so the cancel is looked at before every block too.
        if (IsCancelled())
            return ERROR_CANCELLED;
        INTERNET_BUFFERSW chunk = {};
        chunk.dwStructSize = sizeof(chunk);
        chunk.lpvBuffer = file.Buffer();
        chunk.dwBufferLength = DestinationFile::kBufferSize;
        // Takes what has arrived without waiting; the waits below are ours, so a cancel or a stall ends them.
        if (!::InternetReadFileExW(request.Get(), &chunk, IRF_NO_WAIT, 0)) {
            if (const DWORD error = failedOrWaited())
                return error;
            continue;
        }
        if (chunk.dwBufferLength == 0) {
            // Nothing yet, or the end: asking for the amount available tells the two apart.
            DWORD available = 0;
            if (!::InternetQueryDataAvailable(request.Get(), &available, 0, 0)) {
                if (const DWORD error = failedOrWaited())
                    return error;
                continue;
            }
            if (available > 0)
                continue;
            std::lock_guard<std::mutex> lock(m_lock);
            return m_total > 0 && m_received < m_total ? ERROR_INTERNET_CONNECTION_ABORTED : ERROR_SUCCESS;
        }
        if (const DWORD error = file.Submit(chunk.dwBufferLength))
            return error;
        std::lock_guard<std::mutex> lock(m_lock);
        m_received += chunk.dwBufferLength;
    }
}
