// The progress dialog run in this test process, from the real template and string table (the
// executable's resources are linked into this test), against the real library and test server.
// Running in-process lets the test read the state of the window menu's Close item.
#include "DlgDownloadProgress.h"

#include "HttpServer.h"
#include "LogFile.h"
#include "UiDriver.h"
#include "WinApp.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <thread>

namespace {

// A body that takes minutes to arrive, for watching and cancelling a transfer.
const std::wstring kSlowTransfer = L"/_/slow/20000000?rate=50000";

std::wstring ResourceString(UINT id)
{
    CString text;
    text.LoadString(id);
    return text.GetString();
}

bool IsCloseGreyed(HWND dialog)
{
    const UINT state = ::GetMenuState(::GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_GRAYED) != 0;
}

// Runs |dialog| modally on this thread while |drive| acts on its window from another thread.
INT_PTR RunDriven(CDlgDownloadProgress& dialog, const std::function<void(HWND)>& drive)
{
    std::thread driver([&] {
        const HWND window = WaitForProgressDialog(::GetCurrentProcessId());
        if (window != nullptr)
            drive(window);
    });
    const INT_PTR result = dialog.DoModal();
    driver.join();
    dialog.WaitForWorker();
    return result;
}

class ProgressDialog : public testing::Test {
protected:
    CWinAppEx m_app;  // the dialog reads the settings beside the application's module
    ScopedLogFile m_log;
};

} // namespace

TEST_F(ProgressDialog, FirstCancelOnlyAsksTheWorkerAndDisablesBothWaysToAskAgain)
{
    CDlgDownloadProgress dialog;
    dialog.m_strDownloadUrl = TestServerUrl(kSlowTransfer).c_str();
    DialogState before, after;
    bool closeGreyedBefore = true, closeGreyedAfter = false;
    const INT_PTR result = RunDriven(dialog, [&](HWND window) {
        before = ReadDialog(window);
        closeGreyedBefore = IsCloseGreyed(window);
        // The first request must not end the dialog: the worker still writes into it.
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        after = ReadDialog(window);
        closeGreyedAfter = IsCloseGreyed(window);
        // Neither Enter nor a second Cancel sent by another program ends it before the report.
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        ::SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    });

    EXPECT_EQ(before.caption, ResourceString(IDS_APP_CAPTION));
    EXPECT_EQ(before.message, ResourceString(IDS_DOWNLOADING));
    EXPECT_TRUE(before.cancelEnabled);
    EXPECT_FALSE(closeGreyedBefore);
    EXPECT_FALSE(after.cancelEnabled);
    EXPECT_TRUE(closeGreyedAfter);

    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dialog.m_dwError, static_cast<DWORD>(ERROR_CANCELLED));
    EXPECT_EQ(dialog.m_bCancel, 1);
    EXPECT_EQ(dialog.m_hUpdaterProcess, nullptr);
    EXPECT_NE(FindMessage(m_log.Messages(), L"DownloadError: 0x000004C7"), -1);
}

TEST_F(ProgressDialog, FailedTransferEndsWithTheLibrarysCode)
{
    CDlgDownloadProgress dialog;
    dialog.m_strDownloadUrl = TestServerUrl(L"/_/status/500").c_str();
    std::wstring message;
    const INT_PTR result = RunDriven(dialog, [&](HWND window) { message = ReadDialog(window).message; });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dialog.m_dwError, 0x801901F4u);
    EXPECT_EQ(dialog.m_hUpdaterProcess, nullptr);
    // No settings file beside this test program: the user's temporary directory is used.
    const auto messages = m_log.Messages();
    EXPECT_NE(FindMessage(messages, L"LoadError: 0x00000002"), -1);
    EXPECT_NE(FindMessage(messages, L"Download to UserTemp"), -1);
    EXPECT_NE(FindMessage(messages, L"DownloadError: 0x801901F4"), -1);
}
