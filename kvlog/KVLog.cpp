// KVLog.dll: appends trace lines to a UTF-8 log file, one whole line per call, and echoes them to
// the debugger. It never fails its caller: a line that cannot be stored is dropped.
#include "ScopedHandle.h"

#include <windows.h>

#include <mutex>
#include <string>

namespace {

// Serialises writers of this process, so lines never interleave.
std::mutex g_writeMutex;

std::wstring LogFilePath()
{
    wchar_t buffer[MAX_PATH];
    DWORD length = ::GetEnvironmentVariableW(L"KVLOG_FILE", buffer, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        return std::wstring(buffer, length);
    length = ::GetTempPathW(MAX_PATH, buffer);
    if (length == 0 || length >= MAX_PATH)
        return std::wstring();
    return std::wstring(buffer, length) + L"KVLog.log";
}

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? size : 0, '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                              nullptr, nullptr);
    return utf8;
}

std::wstring FormatRecord(const wchar_t* line)
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    wchar_t prefix[64];
    _snwprintf(prefix, 64, L"%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] ", now.wYear, now.wMonth, now.wDay,
               now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, ::GetCurrentThreadId());
    prefix[63] = L'\0';
    return std::wstring(prefix) + line + L"\r\n";
}

void AppendToFile(const std::wstring& path, const std::string& record)
{
    ScopedFileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    DWORD written = 0;
    ::WriteFile(file.Get(), record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
}

} // namespace

// Exported undecorated, by the module definition file.
extern "C" void WINAPI KVL_WriteLog(const wchar_t* line)
{
    if (line == nullptr)
        return;
    try {
        const std::wstring record = FormatRecord(line);
        ::OutputDebugStringW(record.c_str());
        const std::string utf8 = ToUtf8(record);
        std::lock_guard<std::mutex> lock(g_writeMutex);
        const std::wstring path = LogFilePath();
        if (!path.empty())
            AppendToFile(path, utf8);
    } catch (...) {
        // Out of memory: the line is lost, the caller goes on.
    }
}
