#pragma once
// CTolmUpdaterExecApp: the application object. In clone mode it runs one update; otherwise it only
// traces why it did nothing. Its exit code is the updater's, or the code of the step that failed.
#include "String.h"
#include "WinApp.h"

// The single-instance guard: one instance per desktop session.
inline constexpr wchar_t kInstanceMutexName[] = L"KORVANE.TOLM.TolmUpdaterExec.exe";

// Shows the string-table text |messageId|, formatted with the values, in a message box without owner.
int ShowErrorMessage(UINT messageId, UINT type, ...);

class CTolmUpdaterExecApp : public CWinAppEx {
public:
    CTolmUpdaterExecApp();
    ~CTolmUpdaterExecApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;

    // Reads "/Clone" (case-sensitive, anywhere) and the URL (the last argument unless it is "/Clone").
    void ParseArguments(int argc, wchar_t** argv);

    CString m_strUpdaterPath;
    DWORD m_dwExitCode;
    BOOL m_bClone;
    CString m_strUrl;

private:
    void ParseArguments();
    // One update run: the progress dialog, then the wait for the updater or the error message.
    void DownloadAndLaunchUpdater();
};
