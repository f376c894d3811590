#include "DlgDownloadProgress.h"

#include "ComSupport.h"

#include "Thread.h"
#include "TolmDat.h"
#include "TraceLog.h"
#include "VerifyUpdater.h"
#include "WinApp.h"
#include "resource.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlwapi.h>

namespace {

// Opens the file so that no other process can change, replace or delete it while it is checked and
// started; reading and starting it stay possible.
ScopedFileHandle HoldFileUnchanged(const wchar_t* path)
{
    return ScopedFileHandle(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
}

} // namespace

CDlgDownloadProgress::CDlgDownloadProgress()
    : CDialog(IDD_DOWNLOAD_PROGRESS, nullptr),
      m_dwError(0),
      m_hDownload(0),
      m_bCancel(0),
      m_hUpdaterProcess(nullptr),
      m_bReported(false)
{
}

CDlgDownloadProgress::~CDlgDownloadProgress() = default;

void CDlgDownloadProgress::WaitForWorker()
{
    if (m_hWorkerThread)
        ::WaitForSingleObject(m_hWorkerThread.Get(), INFINITE);
}

void CDlgDownloadProgress::DoDataExchange()
{
    BindControl(IDC_DOWNLOAD_PROGRESS, m_ctlProgress);
}

BOOL CDlgDownloadProgress::OnInitDialog()
{
    CDialog::OnInitDialog();

    LoadTolmDat();

    CString text;
    text.LoadString(IDS_APP_CAPTION);
    ::SetWindowTextW(m_hWnd, text);
    text.LoadString(IDS_DOWNLOADING);
    ::SetDlgItemTextW(m_hWnd, IDC_DOWNLOAD_MESSAGE, text);

    const DWORD foregroundThread = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
    const DWORD thisThread = ::GetCurrentThreadId();
    ::AttachThreadInput(thisThread, foregroundThread, TRUE);
    ::SetForegroundWindow(m_hWnd);
    ::AttachThreadInput(thisThread, foregroundThread, FALSE);

    ::SendMessageW(m_ctlProgress.GetSafeHwnd(), PBM_SETRANGE, 0, MAKELPARAM(0, 100));

    m_hWorkerThread = AfxBeginThread(DownloadThread, this);
    if (!m_hWorkerThread) {
        // Without a worker no report would ever come: end at once with the reason.
        m_dwError = ::GetLastError();
        m_bReported = true;
        m_bCancel = 1;
        OnCancel();
    }
    return TRUE;
}

void CDlgDownloadProgress::LoadTolmDat()
{
    TRACE_LOG(L"%s", L"START CDlgDownloadProgress::LoadTolmDat");
    {
        const ScopedCoInitialize com(COINIT_APARTMENTTHREADED);
        TolmDatInfo info;
        const DWORD result = CTolmDat::Load(AfxGetApp()->m_hInstance, info);
        if (result != 0)
            TRACE_LOG(L"LoadError: 0x%08X", result);
        else
            m_strUpdateTemp = info.UpdateTemp;
    }
    TRACE_LOG(L"%s", L"END CDlgDownloadProgress::LoadTolmDat");
}

void CDlgDownloadProgress::DisableCancel()
{
    ::EnableWindow(GetDlgItem(IDCANCEL), FALSE);
    ::EnableMenuItem(::GetSystemMenu(m_hWnd, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
}

void CDlgDownloadProgress::OnOK()
{
    // Enter, or an IDOK sent by another program, before the report only asks the worker to stop:
    // the worker writes into this object until it has posted its report.
    if (!m_bReported) {
        OnCancel();
        return;
    }
    CDialog::OnOK();
}

void CDlgDownloadProgress::OnCancel()
{
    if (m_bCancel != 0) {
        if (m_bReported)
            CDialog::OnCancel();
        return;
    }
    DisableCancel();
    m_bCancel = 1;
}

bool CDlgDownloadProgress::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message != WM_DOWNLOAD_FINISHED)
        return false;
    result = OnDownloadFinished(wParam, lParam);
    return true;
}

LRESULT CDlgDownloadProgress::OnDownloadFinished(WPARAM, LPARAM)
{
    TRACE_LOG(L"START %hs", "CDlgDownloadProgress::OnDownloadFinished");
    m_bReported = true;

    if (m_dwError == 0) {
        CString text;
        text.LoadString(IDS_DOWNLOAD_COMPLETE);
        ::SetDlgItemTextW(m_hWnd, IDC_DOWNLOAD_MESSAGE, text);
    }
    DisableCancel();

    if (m_dwError != 0) {
        TRACE_LOG(L"DownloadError: 0x%08X", m_dwError);
        m_bCancel = 1;
        OnCancel();
        TRACE_LOG(L"END %hs", "CDlgDownloadProgress::OnDownloadFinished");
        return 0;
    }

    {
        const ScopedFileHandle held = HoldFileUnchanged(m_strDownloadPath);
        const DWORD holdError = held ? ERROR_SUCCESS : ::GetLastError();
        if (!VerifyUpdater(m_strDownloadPath))
            m_dwError = ERROR_INVALID_DLL;
        else if (!::PathFileExistsW(m_strDownloadPath))
            m_dwError = ERROR_FILE_NOT_FOUND;
        else if (!held)
            // Another process has the file open for writing: what was checked may not be what runs.
            m_dwError = holdError;
        else
            LaunchUpdater();
    }

    TRACE_LOG(L"END %hs", "CDlgDownloadProgress::OnDownloadFinished");
    OnOK();
    return 0;
}

void CDlgDownloadProgress::LaunchUpdater()
{
    TRACE_LOG(L"START %hs", "CDlgDownloadProgress::LaunchUpdater");
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = m_hWnd;
    info.lpFile = m_strDownloadPath;
    info.nShow = SW_SHOWNORMAL;
    if (::ShellExecuteExW(&info) && reinterpret_cast<INT_PTR>(info.hInstApp) > 32) {
        m_hUpdaterProcess = info.hProcess;
    } else {
        m_dwError = ::GetLastError();
        TRACE_LOG(L"Failed Launch Updater: 0x%08X", m_dwError);
    }
    TRACE_LOG(L"END %hs", "CDlgDownloadProgress::LaunchUpdater");
}
