// The download worker of CDlgDownloadProgress: it runs on its own thread, chooses the destination
// file, drives the transfer through Fetchkit.dll and reports to the dialog with WM_DOWNLOAD_FINISHED.
#include "DownloadWorker.h"

#include "DlgDownloadProgress.h"
#include "TraceLog.h"

#include <shlwapi.h>
#include <stdio.h>

#include <cwchar>
#include <new>

namespace {

constexpr DWORD kPollIntervalMs = 100;
// Room for the runtime library's temporary names ("\s" plus the process id in base 32, a dot and a
// counter), terminator included.
constexpr size_t kTempNameLength = 18;
// Candidates tried before the file-name step gives up; the first is the runtime's name, the others
// carry a counter behind it.
constexpr int kMaxNameAttempts = 100;

// The received amount last sent to the bar, for the whole process. It starts below any real amount,
// so the first reading always moves the bar.
LONGLONG g_llLastReceived = -1;

bool IsFileNameChar(wchar_t c)
{
    return c >= L' ' && std::wcschr(L"<>:\"/\\|?*", c) == nullptr;
}

// Sets |path| to directory, stem and extension where no file exists yet. Returns 0, or the code of
// the failure: the runtime's error number, or ERROR_FILE_EXISTS when every candidate is taken.
DWORD FindUnusedPath(const wchar_t* directory, const CString& extension, CString& path)
{
    wchar_t name[kTempNameLength] = {};
    const errno_t error = _wtmpnam_s(name, kTempNameLength);
    if (error != 0)
        return static_cast<DWORD>(error);
    // The extension removed is the runtime's call counter, so every call would give this same stem:
    // further candidates carry a counter of their own.
    ::PathRemoveExtensionW(name);

    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        CString stem(name);
        if (attempt > 0) {
            CString counter;
            counter.Format(L"_%d", attempt);
            stem += counter;
        }
        path.Format(L"%s%s%s", directory, stem.GetString(), extension.GetString());
        if (!::PathFileExistsW(path))
            return 0;
    }
    return ERROR_FILE_EXISTS;
}

// One poll cycle of the transfer; returns true while the transfer runs on.
bool PollDownload(CDlgDownloadProgress& dialog)
{
    LONG status = Fetchkit_GetStatus(dialog.m_hDownload);
    if (dialog.m_bCancel == 1)
        status = FETCHKIT_STATUS_CANCELLED;

    switch (status) {
    case FETCHKIT_STATUS_RUNNING:
        dialog.UpdateProgress();
        return true;
    case FETCHKIT_STATUS_COMPLETE:
        TRACE_LOG(L"%s", L"Download Status: Complete");
        dialog.m_dwError = 0;
        dialog.UpdateProgress();
        return false;
    case FETCHKIT_STATUS_FAILED: {
        TRACE_LOG(L"%s", L"Download Status: Failed");
        // 0 counts as success: the dialog would go on to verify and start a file that never came.
        const DWORD error = Fetchkit_GetError(dialog.m_hDownload);
        dialog.m_dwError = error != 0 ? error : ERROR_GEN_FAILURE;
        return false;
    }
    case FETCHKIT_STATUS_CANCELLED:
        TRACE_LOG(L"%s", L"Download Status: Cancel");
        dialog.m_dwError = ERROR_CANCELLED;
        dialog.m_bCancel = 1;
        Fetchkit_Cancel(dialog.m_hDownload);
        return false;
    default:
        TRACE_LOG(L"Download Status: Other: %d", static_cast<int>(status));
        dialog.m_dwError = ERROR_INVALID_DATA;
        return false;
    }
}

} // namespace

CString FileExtensionFromUrl(const wchar_t* url)
{
    // The path begins behind the authority when the URL starts with "scheme://".
    const wchar_t* path = url;
    const size_t schemeEnd = std::wcscspn(url, L"/?#");
    if (schemeEnd > 0 && url[schemeEnd - 1] == L':' && url[schemeEnd] == L'/' && url[schemeEnd + 1] == L'/') {
        const wchar_t* authority = url + schemeEnd + 2;
        path = authority + std::wcscspn(authority, L"/?#");
    }
    const size_t pathLength = std::wcscspn(path, L"?#");
    size_t segmentStart = pathLength;
    while (segmentStart > 0 && path[segmentStart - 1] != L'/')
        --segmentStart;

    const CString segment(path + segmentStart, static_cast<int>(pathLength - segmentStart));
    const wchar_t* extension = ::PathFindExtensionW(segment);
    if (*extension == L'\0')
        return CString();
    for (const wchar_t* c = extension + 1; *c != L'\0'; ++c)
        if (!IsFileNameChar(*c))
            return CString();
    return CString(extension);
}

int ProgressPercent(LONGLONG received, LONGLONG total)
{
    if (received <= 0 || total <= 0)
        return 0;
    // Both steps are rounded to double: kept in the x87 unit's extended precision, 29 of 100 would
    // come out as 29 rather than 28.
    volatile double fraction = static_cast<double>(received) / static_cast<double>(total);
    volatile double percent = fraction * 100.0;
    return percent >= 100.0 ? 100 : static_cast<int>(percent);
}

UINT CDlgDownloadProgress::DownloadThread(LPVOID param)
{
    auto* dialog = static_cast<CDlgDownloadProgress*>(param);
    TRACE_LOG(L"%s", L"START CDlgDownloadProgress::DownloadThread");

    CString path;
    dialog->GetDownloadFilePath(path);
    if (!path.IsEmpty()) {
        dialog->m_strDownloadPath = path;
        dialog->m_hDownload = Fetchkit_StartDownload(dialog->m_strDownloadUrl, dialog->m_strDownloadPath, 0, 0);
        bool running;
        do {
            running = PollDownload(*dialog);
            ::Sleep(kPollIntervalMs);
        } while (running);
    }

    // The dialog may end once it has this message: nothing of it is touched afterwards.
    ::PostMessageW(dialog->m_hWnd, WM_DOWNLOAD_FINISHED, 0, 0);
    TRACE_LOG(L"%s", L"END CDlgDownloadProgress::DownloadThread");
    return 0;
}

void CDlgDownloadProgress::GetDownloadFilePath(CString& path)
{
    TRACE_LOG(L"%s", L"START CDlgDownloadProgress::GetDownloadFilePath");
    path.Empty();

    // A directory that does not fit the buffer fails the step: a cut-off one would be another place.
    DWORD nameError = 0;
    wchar_t directory[MAX_PATH] = {};
    if (!m_strUpdateTemp.IsEmpty()) {
        if (m_strUpdateTemp.GetLength() < MAX_PATH) {
            std::wcscpy(directory, m_strUpdateTemp);
            TRACE_LOG(L"%s", L"Download to UpdateTemp from TOLM.DAT");
        } else {
            nameError = ERROR_FILENAME_EXCED_RANGE;
        }
    } else {
        const DWORD length = ::GetTempPathW(MAX_PATH, directory);
        if (length == 0) {
            const DWORD error = ::GetLastError();
            TRACE_LOG(L"%s", L"Failed GetTempPath");
            m_dwError = error;
        } else if (length >= MAX_PATH) {
            nameError = ERROR_FILENAME_EXCED_RANGE;
        } else {
            TRACE_LOG(L"%s", L"Download to UserTemp");
        }
    }

    if (nameError == 0) {
        try {
            nameError = FindUnusedPath(directory, FileExtensionFromUrl(m_strDownloadUrl), path);
        } catch (const std::bad_alloc&) {
            // The runtime's allocator need not set a last error; the step must still fail.
            const DWORD error = ::GetLastError();
            TRACE_LOG(L"%s", L"Occur Exeption");
            path.Empty();
            m_dwError = error != 0 ? error : ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    if (nameError != 0) {
        TRACE_LOG(L"%s", L"Failed Create unique updater file name");
        path.Empty();
        m_dwError = nameError;
    }

    TRACE_LOG(L"END CDlgDownloadProgress::GetDownloadFilePath: %s", path.GetString());
}

void CDlgDownloadProgress::UpdateProgress()
{
    LONGLONG received = 0;
    LONGLONG total = 0;
    Fetchkit_GetProgress(m_hDownload, &received, &total);
    if (received == g_llLastReceived)
        return;
    m_ctlProgress.SetPos(ProgressPercent(received, total));
    g_llLastReceived = received;
}
