// A stand-in updater for the demo and the end-to-end tests. It records that it ran and exits with a
// chosen code, all set through the environment it inherits from TolmUpdaterExec:
//   TOLM_DEMO_EXIT_CODE  exit code (decimal or 0x hex; default 0)
//   TOLM_DEMO_MARKER     file that gets "ran <path>" at the start and "done" just before the exit
//   TOLM_DEMO_SLEEP_MS   time to stay running in between (default 0)
//   TOLM_DEMO_SHOW       1: show a message box saying that it ran
#include "ScopedHandle.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring Variable(const wchar_t* name)
{
    wchar_t value[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

void AppendMarker(const std::wstring& markerPath, const std::wstring& text)
{
    if (markerPath.empty())
        return;
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), size, nullptr, nullptr);
    utf8.pop_back();
    const ScopedFileHandle file(::CreateFileW(markerPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    DWORD written = 0;
    ::WriteFile(file.Get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    const std::wstring exitCode = Variable(L"TOLM_DEMO_EXIT_CODE");
    const UINT code = exitCode.empty() ? 0 : static_cast<UINT>(wcstoul(exitCode.c_str(), nullptr, 0));

    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring marker = Variable(L"TOLM_DEMO_MARKER");
    AppendMarker(marker, std::wstring(L"ran ") + self + L"\n");
    ::OutputDebugStringW(L"Demo updater ran\n");

    const std::wstring sleepMs = Variable(L"TOLM_DEMO_SLEEP_MS");
    if (!sleepMs.empty())
        ::Sleep(wcstoul(sleepMs.c_str(), nullptr, 10));
    if (Variable(L"TOLM_DEMO_SHOW") == L"1")
        ::MessageBoxW(nullptr, L"The demo updater ran.", L"Demo updater", MB_OK | MB_ICONINFORMATION);

    AppendMarker(marker, L"done\n");
    return static_cast<int>(code);
}
