#include "Url.h"

#include <vector>

DWORD ParseHttpUrl(const std::wstring& text, HttpUrl& url)
{
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    // A length of 1 asks for pointers into |text| rather than copies.
    parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUserNameLength = parts.dwPasswordLength =
        parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
    if (!::InternetCrackUrlW(text.c_str(), static_cast<DWORD>(text.size()), 0, &parts)) {
        const DWORD error = ::GetLastError();
        return error ? error : ERROR_INTERNET_INVALID_URL;
    }
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    if (!parts.lpszHostName || parts.dwHostNameLength == 0)
        return ERROR_INTERNET_INVALID_URL;
    const auto part = [](const wchar_t* start, DWORD length) {
        return start ? std::wstring(start, length) : std::wstring();
    };
    url.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    url.host = part(parts.lpszHostName, parts.dwHostNameLength);
    url.port = parts.nPort;
    url.user = part(parts.lpszUserName, parts.dwUserNameLength);
    url.password = part(parts.lpszPassword, parts.dwPasswordLength);
    url.object = part(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (url.object.empty())
        url.object = L"/";
    const std::wstring extra = part(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    url.object += extra.substr(0, extra.find(L'#'));
    return ERROR_SUCCESS;
}

DWORD ResolveUrl(const std::wstring& base, const std::wstring& location, std::wstring& resolved)
{
    DWORD length = 0;
    ::InternetCombineUrlW(base.c_str(), location.c_str(), nullptr, &length, 0);
    if (length == 0)
        return ERROR_INTERNET_INVALID_URL;
    std::vector<wchar_t> buffer(length + 1);
    length = static_cast<DWORD>(buffer.size());
    if (!::InternetCombineUrlW(base.c_str(), location.c_str(), buffer.data(), &length, 0)) {
        const DWORD error = ::GetLastError();
        return error ? error : ERROR_INTERNET_INVALID_URL;
    }
    resolved.assign(buffer.data(), length);
    return ERROR_SUCCESS;
}
