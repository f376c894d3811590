#pragma once
// The parts of an http or https URL that a request needs, and the resolution of redirect targets.
#include <windows.h>
#include <wininet.h>

#include <string>

struct HttpUrl {
    bool secure = false;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring user;
    std::wstring password;
    std::wstring object;  // path and query, without the fragment
};

// Fails with ERROR_INTERNET_UNRECOGNIZED_SCHEME for any scheme but http and https, and with
// ERROR_INTERNET_INVALID_URL for text that is no URL.
DWORD ParseHttpUrl(const std::wstring& text, HttpUrl& url);

// The absolute URL that |location| (absolute or relative) names, seen from |base|.
DWORD ResolveUrl(const std::wstring& base, const std::wstring& location, std::wstring& resolved);
