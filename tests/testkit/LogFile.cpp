#include "LogFile.h"

#include <windows.h>

ScopedLogFile::ScopedLogFile() : m_path(m_dir.File(L"trace.log"))
{
    ::SetEnvironmentVariableW(L"KVLOG_FILE", m_path.c_str());
}

ScopedLogFile::~ScopedLogFile()
{
    ::SetEnvironmentVariableW(L"KVLOG_FILE", nullptr);
}

std::wstring ScopedLogFile::Text() const
{
    const std::string bytes = ReadFileBytes(m_path);
    if (bytes.empty())
        return std::wstring();
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(length, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);
    return text;
}

std::vector<std::wstring> ScopedLogFile::Lines() const
{
    // Each record is "YYYY-MM-DD hh:mm:ss.mmm [thread] line\r\n".
    std::vector<std::wstring> lines;
    const std::wstring text = Text();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos)
            end = text.size();
        const std::wstring record = text.substr(start, end - start);
        const size_t threadEnd = record.find(L"] ");
        lines.push_back(threadEnd == std::wstring::npos ? record : record.substr(threadEnd + 2));
        start = end + 2;
    }
    return lines;
}

std::vector<std::wstring> ScopedLogFile::Messages() const
{
    std::vector<std::wstring> messages;
    for (const auto& line : Lines()) {
        const size_t close = line.find(L']');
        messages.push_back(close == std::wstring::npos ? line : line.substr(close + 1));
    }
    return messages;
}

int FindMessage(const std::vector<std::wstring>& messages, const std::wstring& message, int from)
{
    for (int i = from; i < static_cast<int>(messages.size()); ++i)
        if (messages[i] == message)
            return i;
    return -1;
}
