#pragma once
// CDlgDownloadProgress: the modal progress dialog of an update run. Its worker thread fetches the
// updater through Fetchkit.dll and reports with WM_DOWNLOAD_FINISHED; the dialog then verifies and
// starts the file. The run reads the result fields after DoModal.
#include "Dialog.h"
#include "Fetchkit.h"
#include "ScopedHandle.h"
#include "String.h"

#include <atomic>

// Posted once by the worker to the dialog when the transfer has ended; wParam and lParam are 0.
inline constexpr UINT WM_DOWNLOAD_FINISHED = WM_APP + 1;

class CDlgDownloadProgress : public CDialog {
public:
    CDlgDownloadProgress();
    ~CDlgDownloadProgress() override;

    // The worker thread: chooses the file, drives the transfer, records the outcome, posts the report.
    static UINT DownloadThread(LPVOID param);
    // Sets |path| to a destination that does not exist yet, or to empty with m_dwError set.
    void GetDownloadFilePath(CString& path);
    // Reads the transfer's progress and moves the bar when the received amount has changed.
    void UpdateProgress();

    // Blocks until the worker thread has ended; it ends right after its report, so once DoModal has
    // returned this wait is short. Nothing of the worker may still run when the trace log unloads.
    void WaitForWorker();

    CProgressCtrl m_ctlProgress;
    CString m_strDownloadUrl;
    CString m_strDownloadPath;
    DWORD m_dwError;
    CString m_strUpdateTemp;
    FETCHKIT_HANDLE m_hDownload;
    std::atomic<LONG> m_bCancel;
    HANDLE m_hUpdaterProcess;

protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    LRESULT OnDownloadFinished(WPARAM wParam, LPARAM lParam);
    void LoadTolmDat();
    void LaunchUpdater();
    void DisableCancel();

    ScopedHandle m_hWorkerThread;
    // Set when the worker's report has arrived: only from then on may the dialog end.
    bool m_bReported;
};
