#include "DlgDownloadProgress.h"

#include "resource.h"

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
