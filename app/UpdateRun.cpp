// One update run: the progress dialog, then the wait for the started updater, or the error message.
#include "TolmUpdaterExec.h"

#include "DlgDownloadProgress.h"
#include "TraceLog.h"
#include "TrustWarmUp.h"
#include "resource.h"

#include <cstdarg>

int ShowErrorMessage(UINT messageId, UINT type, ...)
{
    CString caption;
    caption.LoadString(IDS_APP_CAPTION);
    CString format;
    format.LoadString(messageId);

    CString text;
    va_list args;
    va_start(args, type);
    text.FormatV(format, args);
    va_end(args);

    const int result = ::MessageBoxW(nullptr, text, caption, type | MB_SETFOREGROUND);
    TRACE_LOG(L"ShowErrorMessage Result: %d", result);
    return result;
}

void CTolmUpdaterExecApp::DownloadAndLaunchUpdater()
{
    TRACE_LOG(L"START %hs", "CTolmUpdaterExecApp::DownloadAndLaunchUpdater");
    const TrustWarmUp trustWarmUp;
    CDlgDownloadProgress dialog;
    dialog.m_strDownloadUrl = m_strUrl;
    const INT_PTR result = dialog.DoModal();
    if (result == -1 && dialog.m_dwError == 0) {
        // The dialog never came up: report why, rather than a success code.
        const DWORD createError = ::GetLastError();
        dialog.m_dwError = createError != 0 ? createError : ERROR_GEN_FAILURE;
    }
    // The worker ends right after its report; it must be gone before the trace log can unload.
    dialog.WaitForWorker();

    m_strUpdaterPath = dialog.m_strDownloadPath;
    m_dwExitCode = dialog.m_dwError;

    if (result == IDOK) {
        if (dialog.m_hUpdaterProcess != nullptr) {
            const ScopedHandle updater(dialog.m_hUpdaterProcess);
            ::WaitForSingleObject(updater.Get(), INFINITE);
            ::GetExitCodeProcess(updater.Get(), &m_dwExitCode);
        } else if (m_dwExitCode == ERROR_INVALID_DLL) {
            TRACE_LOG(L"Not Verified: %s", m_strUpdaterPath.GetString());
            ShowErrorMessage(IDS_ERR_LAUNCH_FAILED, MB_ICONERROR, m_dwExitCode, m_strUpdaterPath.GetString());
        } else if (m_dwExitCode != ERROR_CANCELLED) {
            ShowErrorMessage(IDS_ERR_DOWNLOAD_FAILED, MB_ICONERROR, m_dwExitCode, m_strUpdaterPath.GetString());
        }
    } else if (m_dwExitCode == ERROR_CANCELLED) {
        TRACE_LOG(L"%s", L"Cancel Download");
    } else {
        TRACE_LOG(L"Failed Download Updater: 0x%08X", m_dwExitCode);
        ShowErrorMessage(IDS_ERR_DOWNLOAD_FAILED, MB_ICONERROR, m_dwExitCode);
    }

    TRACE_LOG(L"END %hs", "CTolmUpdaterExecApp::DownloadAndLaunchUpdater");
}
