#include "TolmUpdaterExec.h"

#include "Fetchkit.h"
#include "TraceLog.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <cstdlib>
#include <cwchar>

CTolmUpdaterExecApp::CTolmUpdaterExecApp() : m_dwExitCode(0), m_bClone(FALSE) {}

CTolmUpdaterExecApp::~CTolmUpdaterExecApp() = default;

BOOL CTolmUpdaterExecApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);

    Fetchkit_Initialize();

    CWinAppEx::InitInstance();

    // Held, never closed, until the process ends: the system releases it then.
    const HANDLE instanceMutex = ::CreateMutexW(nullptr, TRUE, kInstanceMutexName);
    if (instanceMutex == nullptr || ::GetLastError() == ERROR_ALREADY_EXISTS) {
        TRACE_LOG(L"%s", L"IsAlreadyExists");
    } else {
        ParseArguments();
        if (m_bClone) {
            DownloadAndLaunchUpdater();
            if (::PathFileExistsW(m_strUpdaterPath))
                ::DeleteFileW(m_strUpdaterPath);
        } else {
            TRACE_LOG(L"%s", L"NotClone");
        }
    }

    Fetchkit_Uninitialize();
    return FALSE;
}

int CTolmUpdaterExecApp::ExitInstance()
{
    CWinAppEx::ExitInstance();
    TRACE_LOG(L"ExitCode: %d", m_dwExitCode);
    return static_cast<int>(m_dwExitCode);
}

void CTolmUpdaterExecApp::ParseArguments()
{
    ParseArguments(__argc, __wargv);
}

void CTolmUpdaterExecApp::ParseArguments(int argc, wchar_t** argv)
{
    for (int index = 0; index < argc; ++index) {
        if (wcscmp(argv[index], L"/Clone") == 0)
            m_bClone = TRUE;
        else if (index == argc - 1)
            m_strUrl = argv[index];
    }
}
