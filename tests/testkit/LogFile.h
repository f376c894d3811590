#pragma once
// Points KVLog.dll at a fresh log file for the duration of a test (through KVLOG_FILE, which child
// processes inherit) and reads the trace lines back without KVLog's time stamp and thread id.
#include "TempDir.h"

#include <string>
#include <vector>

class ScopedLogFile {
public:
    ScopedLogFile();
    ~ScopedLogFile();

    const std::wstring& Path() const { return m_path; }
    // The trace lines as the program wrote them: "[line]message".
    std::vector<std::wstring> Lines() const;
    // The messages alone, without the "[line]" in front.
    std::vector<std::wstring> Messages() const;
    // The whole text of the file, decoded from UTF-8.
    std::wstring Text() const;

private:
    TempDir m_dir;
    std::wstring m_path;
};

// Index of the first message equal to |message| at or after |from|, or -1.
int FindMessage(const std::vector<std::wstring>& messages, const std::wstring& message, int from = 0);
