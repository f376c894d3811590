// tolmdat: makes and checks the settings files that TolmUpdaterExec reads beside its executable.
//   tolmdat scramble Tolmdat.xml Tolm.dat [--force]
//   tolmdat unscramble Tolm.dat Tolmdat.xml [--force]
//   tolmdat show DIR
// The exit code is 0, or the Windows result code of what failed.
#include "ComSupport.h"
#include "File.h"
#include "ScopedHandle.h"
#include "TolmDat.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstdarg>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t kUsage[] =
    L"usage: tolmdat scramble PLAIN SCRAMBLED [--force]\r\n"
    L"       tolmdat unscramble SCRAMBLED PLAIN [--force]\r\n"
    L"       tolmdat show DIR\r\n"
    L"scramble and unscramble refuse to replace an existing output file unless --force is given.\r\n"
    L"show loads Tolmdat.xml, else Tolm.dat, from DIR as TolmUpdaterExec does from its own directory\r\n"
    L"and prints the result code and the six settings.\r\n";

void WriteText(DWORD stdHandle, const CString& text)
{
    const HANDLE handle = ::GetStdHandle(stdHandle);
    DWORD written = 0;
    DWORD mode = 0;
    if (::GetConsoleMode(handle, &mode)) {
        ::WriteConsoleW(handle, text.GetString(), static_cast<DWORD>(text.GetLength()), &written, nullptr);
        return;
    }
    // Redirected output is UTF-8, so every path and value comes through whatever the code page.
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.GetString(), text.GetLength(), nullptr, 0, nullptr,
                                           nullptr);
    if (size <= 0)
        return;
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.GetString(), text.GetLength(), bytes.data(), size, nullptr, nullptr);
    ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Print(const wchar_t* format, ...)
{
    CString text;
    va_list args;
    va_start(args, format);
    text.FormatV(format, args);
    va_end(args);
    WriteText(STD_OUTPUT_HANDLE, text);
}

// Writes "tolmdat: message" to the error output and returns |code|.
DWORD Fail(DWORD code, const wchar_t* format, ...)
{
    CString message;
    va_list args;
    va_start(args, format);
    message.FormatV(format, args);
    va_end(args);
    CString line;
    line.Format(L"tolmdat: %s\r\n", message.GetString());
    WriteText(STD_ERROR_HANDLE, line);
    return code;
}

// The system's text for |code|, without its line break, followed by the code itself.
CString DescribeError(DWORD code)
{
    ScopedLocalMem buffer;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<wchar_t*>(buffer.Receive()), 0, nullptr);
    CString text;
    if (length > 0) {
        std::wstring message(static_cast<const wchar_t*>(buffer.Get()), length);
        while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
            message.pop_back();
        text.Format(L"%s (0x%08X)", message.c_str(), code);
    } else {
        text.Format(L"error 0x%08X", code);
    }
    return text;
}

DWORD ReadWholeFile(const wchar_t* path, std::vector<BYTE>& bytes)
{
    CFileStatus status;
    if (!CFile::GetStatus(path, status))
        return ::GetLastError();
    // The program refuses anything larger, so a larger file cannot be a settings file.
    if (status.m_size > kMaxTolmDatSize)
        return ERROR_FILE_TOO_LARGE;
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone))
        return ::GetLastError();
    bytes.assign(static_cast<size_t>(status.m_size), 0);
    if (bytes.empty())
        return ERROR_SUCCESS;
    try {
        bytes.resize(file.Read(bytes.data(), static_cast<UINT>(bytes.size())));
    } catch (const CFileException& error) {
        return error.m_dwOsError;
    }
    return ERROR_SUCCESS;
}

DWORD WriteWholeFile(const wchar_t* path, const std::vector<BYTE>& bytes, bool force)
{
    ScopedFileHandle file(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, force ? CREATE_ALWAYS : CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return ::GetLastError();
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (ok && written == bytes.size())
        return ERROR_SUCCESS;
    const DWORD error = ok ? ERROR_WRITE_FAULT : ::GetLastError();
    // A half-written settings file would fail to load: leave none.
    file.Reset();
    ::DeleteFileW(path);
    return error;
}

// Scrambling and unscrambling are the same operation; the two verbs say which way the file goes.
DWORD Transform(const std::wstring& input, const std::wstring& output, bool force)
{
    std::vector<BYTE> bytes;
    DWORD result = ReadWholeFile(input.c_str(), bytes);
    if (result == ERROR_FILE_TOO_LARGE)
        return Fail(result, L"%s is larger than %u bytes, more than a settings file may hold", input.c_str(),
                    kMaxTolmDatSize);
    if (result != ERROR_SUCCESS)
        return Fail(result, L"cannot read %s: %s", input.c_str(), DescribeError(result).GetString());

    CTolmDat::Descramble(bytes.data(), static_cast<DWORD>(bytes.size()), bytes.data());

    result = WriteWholeFile(output.c_str(), bytes, force);
    if (result == ERROR_FILE_EXISTS)
        return Fail(result, L"%s exists; add --force to replace it", output.c_str());
    if (result != ERROR_SUCCESS)
        return Fail(result, L"cannot write %s: %s", output.c_str(), DescribeError(result).GetString());
    return ERROR_SUCCESS;
}

DWORD Show(const std::wstring& directory)
{
    wchar_t fullPath[MAX_PATH];
    const DWORD length = ::GetFullPathNameW(directory.c_str(), MAX_PATH, fullPath, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return Fail(ERROR_FILENAME_EXCED_RANGE, L"%s: the path is too long", directory.c_str());

    CString datPath;
    CString xmlPath;
    DWORD result = GetDirectoryFilePath(fullPath, kTolmDatFileName, datPath);
    if (result == ERROR_SUCCESS)
        result = GetDirectoryFilePath(fullPath, kTolmDatXmlFileName, xmlPath);
    if (result != ERROR_SUCCESS)
        return Fail(result, L"%s: the settings paths would not fit in %d characters", fullPath, MAX_PATH);

    const CString& chosen = ::PathFileExistsW(xmlPath) ? xmlPath : datPath;
    TolmDatInfo info;
    {
        ScopedCoInitialize com(COINIT_APARTMENTTHREADED);
        result = LoadPlainOrScrambled(datPath, xmlPath, info);
    }

    Print(L"File: %s\r\n", chosen.GetString());
    Print(L"Result: 0x%08X\r\n", result);
    Print(L"EntryInfo: %s\r\n", info.EntryInfo.GetString());
    Print(L"UpdateTemp: %s\r\n", info.UpdateTemp.GetString());
    Print(L"OrbWorkTemp: %s\r\n", info.OrbWorkTemp.GetString());
    Print(L"UpdateServerUrl: %s\r\n", info.UpdateServerUrl.GetString());
    Print(L"AppID: %s\r\n", info.AppID.GetString());
    Print(L"CookieUrl: %s\r\n", info.CookieUrl.GetString());

    switch (result) {
    case ERROR_SUCCESS:
        return result;
    case ERROR_FILE_NOT_FOUND:
        return Fail(result, L"neither %s nor %s is in %s", kTolmDatXmlFileName, kTolmDatFileName, fullPath);
    case ERROR_XML_PARSE_ERROR:
        return Fail(result, L"%s does not read or does not load as an XML document", chosen.GetString());
    default:
        return Fail(result, L"%s: %s", chosen.GetString(), DescribeError(result).GetString());
    }
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::wstring> args;
    bool force = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--help" || arg == L"-h" || arg == L"/?") {
            WriteText(STD_OUTPUT_HANDLE, kUsage);
            return 0;
        }
        if (arg == L"--force") {
            force = true;
        } else if (arg.rfind(L"--", 0) == 0) {
            Fail(ERROR_BAD_ARGUMENTS, L"unknown option %s", arg.c_str());
            WriteText(STD_ERROR_HANDLE, kUsage);
            return ERROR_BAD_ARGUMENTS;
        } else {
            args.push_back(arg);
        }
    }

    if (args.size() == 3 && (args[0] == L"scramble" || args[0] == L"unscramble"))
        return static_cast<int>(Transform(args[1], args[2], force));
    if (args.size() == 2 && args[0] == L"show" && !force)
        return static_cast<int>(Show(args[1]));
    WriteText(STD_ERROR_HANDLE, kUsage);
    return ERROR_BAD_ARGUMENTS;
}
