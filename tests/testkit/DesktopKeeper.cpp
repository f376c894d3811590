// Keeps the Wine desktop of the test prefix open for a whole test run. Wine closes a desktop about a
// second after its last user process has ended and starts it again for the next one, which costs each
// test program most of a second. This program is such a user and waits until it is told to stop.
//   desktop_keeper.exe          keep the desktop (returns at once if a keeper already runs)
//   desktop_keeper.exe --stop   end the running keeper
#include "ScopedHandle.h"

#include <windows.h>

#include <cwchar>

namespace {
constexpr wchar_t kStopEventName[] = L"Local\\TolmTestDesktopKeeperStop";
} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int)
{
    if (std::wcscmp(commandLine, L"--stop") == 0) {
        ScopedHandle stop(::OpenEventW(EVENT_MODIFY_STATE, FALSE, kStopEventName));
        if (!stop)
            return ::GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : 1;  // no keeper: nothing to stop
        return ::SetEvent(stop.Get()) ? 0 : 1;
    }
    ScopedHandle stop(::CreateEventW(nullptr, TRUE, FALSE, kStopEventName));
    if (!stop)
        return 1;
    if (::GetLastError() == ERROR_ALREADY_EXISTS)
        return 0;
    // Any call into user32 makes this process a user of the desktop.
    ::GetDesktopWindow();
    ::WaitForSingleObject(stop.Get(), INFINITE);
    return 0;
}
