#pragma once
#include <windows.h>

#include <string>

// Sets an environment variable for the duration of a test and restores the old value.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(const wchar_t* name, const std::wstring& value) : m_name(name)
    {
        const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
        m_hadValue = size > 0;
        if (m_hadValue) {
            m_old.resize(size);
            m_old.resize(::GetEnvironmentVariableW(name, m_old.data(), size));
        }
        ::SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedEnvironmentVariable() { ::SetEnvironmentVariableW(m_name, m_hadValue ? m_old.c_str() : nullptr); }
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    const wchar_t* m_name;
    std::wstring m_old;
    bool m_hadValue = false;
};
