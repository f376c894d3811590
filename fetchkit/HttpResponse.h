#pragma once
// One HTTP exchange on a session: sends GET (with extra headers), follows redirects and keeps the
// connection and request handles of the final reply for reading its body.
#include "InternetHandle.h"

#include <memory>
#include <string>

struct ContentRange {
    LONGLONG first = 0;
    LONGLONG last = 0;
    LONGLONG total = -1;  // -1: "*", the whole length is not known
};

class HttpResponse {
public:
    // Sends the request for |url| and waits for the reply headers. Redirects are followed up to a fixed
    // count, never from https to http (ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR).
    DWORD Send(HINTERNET session, const std::wstring& url, const std::wstring& headers, HANDLE cancel,
               DWORD timeoutMs);

    const std::wstring& Url() const { return m_url; }
    DWORD StatusCode() const { return m_statusCode; }
    AsyncRequest& Request() { return *m_request; }

    // A reply header by its HTTP_QUERY_ level; false when the reply has none.
    bool Header(DWORD level, std::wstring& value) const;
    // Content-Length, or -1 when absent or unreadable.
    LONGLONG ContentLength() const;
    bool Range(ContentRange& range) const;

private:
    DWORD SendOnce(HINTERNET session, const std::wstring& headers, HANDLE cancel, DWORD timeoutMs);

    std::wstring m_url;
    DWORD m_statusCode = 0;
    ScopedInternet m_connection;
    std::unique_ptr<AsyncRequest> m_request;
};

// The Windows code of an HTTP status: 0x80190000 | status (404 gives 0x80190194).
constexpr DWORD HttpStatusError(DWORD status)
{
    return 0x80190000u | status;
}
