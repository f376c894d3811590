#include "Process.h"

std::wstring QuoteArgument(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            quoted.append(backslashes * 2 + 1, L'\\');
        else
            quoted.append(backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

ScopedHandle StartProcess(const std::wstring& exe, const std::vector<std::wstring>& args,
                          const std::wstring& workDir)
{
    std::wstring commandLine = QuoteArgument(exe);
    for (const auto& arg : args)
        commandLine += L" " + QuoteArgument(arg);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          workDir.empty() ? nullptr : workDir.c_str(), &startup, &info))
        return ScopedHandle();
    const ScopedHandle thread(info.hThread);
    return ScopedHandle(info.hProcess);
}

ProcessResult WaitProcess(HANDLE process, DWORD timeoutMs)
{
    ProcessResult result;
    result.started = process != nullptr;
    if (!result.started)
        return result;
    if (::WaitForSingleObject(process, timeoutMs) == WAIT_TIMEOUT) {
        result.timedOut = true;
        ::TerminateProcess(process, 0xDEAD);
        ::WaitForSingleObject(process, 5000);
    }
    ::GetExitCodeProcess(process, &result.exitCode);
    return result;
}

ProcessResult RunProcess(const std::wstring& exe, const std::vector<std::wstring>& args,
                         const std::wstring& workDir, DWORD timeoutMs)
{
    ScopedHandle process = StartProcess(exe, args, workDir);
    return WaitProcess(process.Get(), timeoutMs);
}
