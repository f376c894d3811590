#pragma once
// CString: the wide text type of the program, with string-table loading and printf-style formatting.
// Formatting follows the Windows runtime's wide rules: "%s" takes a wide string, "%hs" an 8-bit one.
#include <windows.h>
#include <cstdarg>
#include <string>

class CString {
public:
    CString() = default;
    CString(const wchar_t* text) : m_text(text ? text : L"") {}
    CString(const wchar_t* text, int length) : m_text(text, length) {}

    operator const wchar_t*() const { return m_text.c_str(); }
    const wchar_t* GetString() const { return m_text.c_str(); }
    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }

    CString& operator=(const wchar_t* text)
    {
        m_text = text ? text : L"";
        return *this;
    }
    CString& operator+=(const wchar_t* text)
    {
        m_text += text;
        return *this;
    }
    bool operator==(const CString& other) const { return m_text == other.m_text; }
    bool operator==(const wchar_t* other) const { return m_text == (other ? other : L""); }

    // Replaces every occurrence of |from| by |to|; returns the number of replacements.
    int Replace(const wchar_t* from, const wchar_t* to);

    // Loads string |id| from the application's resources; a missing entry gives an empty text.
    bool LoadString(UINT id);
    bool LoadString(HINSTANCE module, UINT id);

    void Format(const wchar_t* format, ...);
    void FormatV(const wchar_t* format, va_list args);

    // Gives a writable buffer of at least |minLength| characters plus terminator; ReleaseBuffer cuts
    // the text at its first terminator.
    wchar_t* GetBuffer(int minLength);
    void ReleaseBuffer();

private:
    std::wstring m_text;
};
