#include "String.h"

#include "WinApp.h"

#include <cwchar>
#include <new>

int CString::Replace(const wchar_t* from, const wchar_t* to)
{
    const std::wstring::size_type fromLength = wcslen(from);
    if (fromLength == 0)
        return 0;
    const std::wstring::size_type toLength = wcslen(to);
    int count = 0;
    for (auto pos = m_text.find(from); pos != std::wstring::npos; pos = m_text.find(from, pos + toLength)) {
        m_text.replace(pos, fromLength, to);
        ++count;
    }
    return count;
}

bool CString::LoadString(UINT id)
{
    return LoadString(AfxGetResourceHandle(), id);
}

bool CString::LoadString(HINSTANCE module, UINT id)
{
    // With a zero buffer size LoadStringW hands out a pointer into the resource itself, so the text
    // comes through whole, whatever its length.
    const wchar_t* resource = nullptr;
    const int length = ::LoadStringW(module, id, reinterpret_cast<wchar_t*>(&resource), 0);
    if (length <= 0 || resource == nullptr) {
        m_text.clear();
        return false;
    }
    m_text.assign(resource, length);
    return true;
}

void CString::Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::FormatV(const wchar_t* format, va_list args)
{
    va_list counting;
    va_copy(counting, args);
    const int length = _vscwprintf(format, counting);
    va_end(counting);
    if (length < 0) {
        m_text.clear();
        return;
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    _vsnwprintf(text.data(), text.size(), format, args);
    text.resize(length);
    m_text.swap(text);
}

wchar_t* CString::GetBuffer(int minLength)
{
    if (GetLength() < minLength)
        m_text.resize(minLength);
    return m_text.data();
}

void CString::ReleaseBuffer()
{
    m_text.resize(wcslen(m_text.c_str()));
}
