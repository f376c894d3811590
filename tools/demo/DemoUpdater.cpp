// A stand-in updater for the demo and the end-to-end tests. It records that it ran and exits with a
// chosen code, all set through the environment it inherits from TolmUpdaterExec:
//   TOLM_DEMO_EXIT_CODE  exit code (decimal or 0x hex; default 0)
//   TOLM_DEMO_MARKER     file to write "ran <path>" into
//   TOLM_DEMO_SLEEP_MS   time to stay running first (default 0)
//   TOLM_DEMO_SHOW       1: show a message box saying that it ran
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

void WriteMarker(const std::wstring& markerPath)
{
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring text = std::wstring(L"ran ") + self;
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), size, nullptr, nullptr);
    utf8.pop_back();
    HANDLE file = ::CreateFileW(markerPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    ::CloseHandle(file);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    const std::wstring exitCode = Variable(L"TOLM_DEMO_EXIT_CODE");
    const UINT code = exitCode.empty() ? 0 : static_cast<UINT>(wcstoul(exitCode.c_str(), nullptr, 0));

    const std::wstring sleepMs = Variable(L"TOLM_DEMO_SLEEP_MS");
    if (!sleepMs.empty())
        ::Sleep(wcstoul(sleepMs.c_str(), nullptr, 10));

    ::OutputDebugStringW(L"Demo updater ran\n");
    const std::wstring marker = Variable(L"TOLM_DEMO_MARKER");
    if (!marker.empty())
        WriteMarker(marker);
    if (Variable(L"TOLM_DEMO_SHOW") == L"1")
        ::MessageBoxW(nullptr, L"The demo updater ran.", L"Demo updater", MB_OK | MB_ICONINFORMATION);
    return static_cast<int>(code);
}
