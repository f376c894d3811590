#pragma once
// Runs a program as a child process inside the same Wine session and reads its full 32-bit exit code.
#include "ScopedHandle.h"

#include <string>
#include <vector>

struct ProcessResult {
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = 0;
};

// Quotes an argument by the rules the runtime's argument splitter undoes.
std::wstring QuoteArgument(const std::wstring& argument);

// Starts |exe| with |args| in |workDir| (empty: the current one); the handle is null on failure.
ScopedHandle StartProcess(const std::wstring& exe, const std::vector<std::wstring>& args,
                          const std::wstring& workDir = std::wstring());

// Waits for the process up to |timeoutMs|; a process still running then is killed.
ProcessResult WaitProcess(HANDLE process, DWORD timeoutMs = 60000);

ProcessResult RunProcess(const std::wstring& exe, const std::vector<std::wstring>& args,
                         const std::wstring& workDir = std::wstring(), DWORD timeoutMs = 60000);
