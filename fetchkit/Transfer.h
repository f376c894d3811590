#pragma once
// One download: a thread of its own fetches the URL into a new file, while other threads read its state.
#include "InternetHandle.h"
#include "ScopedHandle.h"

#include <memory>
#include <mutex>
#include <string>

class DestinationFile;
class HttpResponse;

class Transfer {
public:
    Transfer(std::wstring url, std::wstring path, DWORD stallTimeoutMs, DWORD flags);
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // Starts the thread; a thread that cannot start ends the transfer as failed at once.
    static void Start(const std::shared_ptr<Transfer>& transfer);

    LONG Status() const;
    DWORD Error() const;
    void Progress(LONGLONG& received, LONGLONG& total) const;
    // Asks the transfer to stop; every wait of the thread returns at once.
    void Cancel();
    // The thread, until it has ended; null when it never started.
    HANDLE Thread() const { return m_thread.Get(); }

private:
    static DWORD WINAPI ThreadMain(void* parameter);
    void Run();
    DWORD Download(DestinationFile& file, ScopedInternet& session, std::unique_ptr<HttpResponse>& response);
    // Keeps the reply being read in |response|, so that the caller decides when its handles close.
    DWORD Fetch(HINTERNET session, DestinationFile& file, std::unique_ptr<HttpResponse>& response);
    DWORD AcceptFirst(HttpResponse& response, std::wstring& validator, bool& rangesRefused);
    // A resume that does not continue the same body fails with the error of the break it was to mend.
    DWORD AcceptResumed(HttpResponse& response, LONGLONG offset, DWORD breakError);
    DWORD ReadBody(HttpResponse& response, DestinationFile& file);
    void Finish(DWORD error);
    LONGLONG Received() const;
    bool IsCancelled() const;

    const std::wstring m_url;
    const std::wstring m_path;
    const DWORD m_stallTimeoutMs;
    const DWORD m_flags;
    ScopedHandle m_cancel;
    ScopedHandle m_thread;

    mutable std::mutex m_lock;
    LONG m_status;
    DWORD m_error = 0;
    LONGLONG m_received = 0;
    LONGLONG m_total = 0;
};
