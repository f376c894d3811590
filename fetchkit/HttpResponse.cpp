#include "HttpResponse.h"

#include "Url.h"

#include <cwchar>
#include <vector>

namespace {
constexpr int kMaxRedirects = 10;
constexpr DWORD kRequestFlags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_UI |
                                INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_KEEP_CONNECTION;

bool IsRedirect(DWORD status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// A decimal number that fills all of |text|; -1 otherwise.
LONGLONG ParseNumber(const wchar_t* text, const wchar_t** end)
{
    if (*text < L'0' || *text > L'9')
        return -1;
    LONGLONG value = 0;
    while (*text >= L'0' && *text <= L'9') {
        if (value > (0x7FFFFFFFFFFFFFFFLL - 9) / 10)
            return -1;
        value = value * 10 + (*text++ - L'0');
    }
    *end = text;
    return value;
}
} // namespace

DWORD HttpResponse::Send(HINTERNET session, const std::wstring& url, const std::wstring& headers, HANDLE cancel,
                         DWORD timeoutMs)
{
    m_url = url;
    for (int redirects = 0;; ++redirects) {
        const DWORD error = SendOnce(session, headers, cancel, timeoutMs);
        if (error != ERROR_SUCCESS)
            return error;
        std::wstring location;
        if (!IsRedirect(m_statusCode) || !Header(HTTP_QUERY_LOCATION, location))
            return ERROR_SUCCESS;
        if (redirects == kMaxRedirects)
            return ERROR_HTTP_REDIRECT_FAILED;
        std::wstring target;
        if (const DWORD resolved = ResolveUrl(m_url, location, target))
            return resolved;
        HttpUrl from, to;
        ParseHttpUrl(m_url, from);
        if (const DWORD parsed = ParseHttpUrl(target, to))
            return parsed;
        if (from.secure && !to.secure)
            return ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR;
        m_url = target;
    }
}

DWORD HttpResponse::SendOnce(HINTERNET session, const std::wstring& headers, HANDLE cancel, DWORD timeoutMs)
{
    HttpUrl url;
    if (const DWORD error = ParseHttpUrl(m_url, url))
        return error;
    // The request goes before its connection.
    m_request.reset();
    m_connection.Reset(::InternetConnectW(session, url.host.c_str(), url.port,
                                          url.user.empty() ? nullptr : url.user.c_str(),
                                          url.password.empty() ? nullptr : url.password.c_str(),
                                          INTERNET_SERVICE_HTTP, 0, 0));
    if (!m_connection)
        return ::GetLastError();
    m_request = std::make_unique<AsyncRequest>();
    if (const DWORD error = m_request->Open(m_connection.Get(), url.object.c_str(),
                                            kRequestFlags | (url.secure ? INTERNET_FLAG_SECURE : 0)))
        return error;
    if (!::HttpSendRequestW(m_request->Get(), headers.empty() ? nullptr : headers.c_str(),
                            static_cast<DWORD>(headers.size()), nullptr, 0)) {
        DWORD error = ::GetLastError();
        if (error == ERROR_IO_PENDING)
            error = m_request->Wait(cancel, timeoutMs);
        if (error != ERROR_SUCCESS)
            return error;
    }
    DWORD size = sizeof(m_statusCode);
    if (!::HttpQueryInfoW(m_request->Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &m_statusCode, &size,
                          nullptr))
        return ::GetLastError();
    return ERROR_SUCCESS;
}

bool HttpResponse::Header(DWORD level, std::wstring& value) const
{
    std::vector<wchar_t> buffer(256);
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        if (::HttpQueryInfoW(m_request->Get(), level, buffer.data(), &size, nullptr)) {
            value.assign(buffer.data(), size / sizeof(wchar_t));
            return true;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return false;
        buffer.resize(size / sizeof(wchar_t) + 1);
    }
}

LONGLONG HttpResponse::ContentLength() const
{
    std::wstring text;
    if (!Header(HTTP_QUERY_CONTENT_LENGTH, text))
        return -1;
    const wchar_t* end = nullptr;
    const LONGLONG length = ParseNumber(text.c_str(), &end);
    return length >= 0 && *end == L'\0' ? length : -1;
}

bool HttpResponse::Range(ContentRange& range) const
{
    // "bytes FIRST-LAST/TOTAL" or "bytes FIRST-LAST/*".
    std::wstring text;
    if (!Header(HTTP_QUERY_CONTENT_RANGE, text) || text.compare(0, 6, L"bytes ") != 0)
        return false;
    const wchar_t* cursor = text.c_str() + 6;
    range.first = ParseNumber(cursor, &cursor);
    if (range.first < 0 || *cursor++ != L'-')
        return false;
    range.last = ParseNumber(cursor, &cursor);
    if (range.last < range.first || *cursor++ != L'/')
        return false;
    if (cursor[0] == L'*' && cursor[1] == L'\0') {
        range.total = -1;
        return true;
    }
    range.total = ParseNumber(cursor, &cursor);
    return range.total > range.last && *cursor == L'\0';
}
