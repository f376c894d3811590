// Whole update runs of the real TolmUpdaterExec.exe under Wine: a real loopback server, the real
// Fetchkit.dll, real signed and unsigned updaters, the real dialog and message boxes.
#include "TolmUpdaterExec.h"

#include "HttpServer.h"
#include "LogFile.h"
#include "Process.h"
#include "ScopedEnvironment.h"
#include "String.h"
#include "TestPaths.h"
#include "UiDriver.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

namespace {

// A body that takes minutes to arrive, for watching and cancelling a transfer.
const std::wstring kSlowTransfer = L"/_/slow/20000000?rate=50000";

const std::wstring kExe = L"TolmUpdaterExec.exe";

std::wstring ResourceString(UINT id)
{
    const ScopedLibrary exe(::LoadLibraryExW(BinPath(kExe).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    CString text;
    text.LoadString(exe.Get(), id);
    return text.GetString();
}

std::wstring Formatted(UINT id, DWORD code, const std::wstring& path = std::wstring())
{
    CString text;
    text.Format(ResourceString(id).c_str(), code, path.c_str());
    return text.GetString();
}

// One installed copy of the program with its own download directory (chosen by Tolmdat.xml), an
// updater published on the test server, and the trace log of the run.
class UpdateRun : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CopyFileTo(BinPath(kExe), m_program.File(kExe)));
        ASSERT_TRUE(CopyFileTo(BinPath(L"Fetchkit.dll"), m_program.File(L"Fetchkit.dll")));
        ASSERT_TRUE(CopyFileTo(BinPath(L"KVLog.dll"), m_program.File(L"KVLog.dll")));
        WriteFileBytes(m_program.File(L"Tolmdat.xml"),
                       "<root><UpdateTemp>" + Narrow(m_downloads.Path()) + "</UpdateTemp></root>");
    }

    void TearDown() override { ::DeleteFileW(m_published.c_str()); }

    static std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

    // Publishes |updater| on the test server under a name of this test's own; returns its URL.
    std::wstring Publish(const std::wstring& updater)
    {
        static std::atomic<int> counter{0};
        const std::wstring name =
            L"updater-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L".exe";
        m_published = BuildDir() + L"\\http_root\\" + name;
        EXPECT_TRUE(CopyFileTo(updater, m_published));
        return TestServerUrl(L"/" + name);
    }

    ScopedHandle Start(const std::wstring& url) { return StartProcess(m_program.File(kExe), {L"/Clone", url}); }

    ProcessResult Run(const std::wstring& url) { return WaitProcess(Start(url).Get(), 120000); }

    // Presses OK on the message box of |process| and returns what it showed.
    MessageBoxState AnswerMessageBox(HANDLE process)
    {
        const HWND box = WaitForMessageBox(::GetProcessId(process));
        EXPECT_NE(box, nullptr) << "no message box";
        if (box == nullptr)
            return {};
        const MessageBoxState state = ReadMessageBox(box);
        ClickButton(box, IDOK);
        return state;
    }

    TempDir m_program;
    TempDir m_downloads;
    ScopedLogFile m_log;
    std::wstring m_published;
};

const std::wstring kSignedUpdater = L"DemoUpdater-signed.exe";
const std::wstring kUnsignedUpdater = L"DemoUpdater.exe";

} // namespace

TEST_F(UpdateRun, StartsTheSignedUpdaterWaitsForItAndTakesItsExitCode)
{
    TempDir markers;
    ScopedEnvironmentVariable exitCode(L"TOLM_DEMO_EXIT_CODE", L"3");
    ScopedEnvironmentVariable marker(L"TOLM_DEMO_MARKER", markers.File(L"ran.txt"));
    ScopedEnvironmentVariable sleep(L"TOLM_DEMO_SLEEP_MS", L"700");

    const ProcessResult result = Run(Publish(BinPath(kSignedUpdater)));
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 3u);

    // The updater had finished before the run returned, and its file is gone.
    const std::string ran = ReadFileBytes(markers.File(L"ran.txt"));
    EXPECT_NE(ran.find("ran "), std::string::npos);
    EXPECT_NE(ran.find("done\n"), std::string::npos);
    EXPECT_EQ(ListDirectory(m_downloads.Path()), L"");

    const auto messages = m_log.Messages();
    int at = FindMessage(messages, L"START CDlgDownloadProgress::LoadTolmDat");
    for (const wchar_t* expected :
         {L"END CDlgDownloadProgress::LoadTolmDat", L"START CDlgDownloadProgress::DownloadThread",
          L"Download to UpdateTemp from TOLM.DAT", L"Download Status: Complete",
          L"START CDlgDownloadProgress::OnDownloadFinished", L"START CDlgDownloadProgress::LaunchUpdater",
          L"END CDlgDownloadProgress::LaunchUpdater", L"END CDlgDownloadProgress::OnDownloadFinished",
          L"END CTolmUpdaterExecApp::DownloadAndLaunchUpdater", L"ExitCode: 3"}) {
        ASSERT_GE(at, 0) << "missing before " << std::string(expected, expected + wcslen(expected));
        at = FindMessage(messages, expected, at);
    }
    EXPECT_EQ(messages.back(), L"ExitCode: 3");
    EXPECT_EQ(FindMessage(messages, L"ShowErrorMessage Result: 1"), -1);
}

TEST_F(UpdateRun, PassesAllThirtyTwoBitsOfTheUpdatersExitCode)
{
    ScopedEnvironmentVariable exitCode(L"TOLM_DEMO_EXIT_CODE", L"0xFFFFFFFF");
    const ProcessResult result = Run(Publish(BinPath(kSignedUpdater)));
    EXPECT_EQ(result.exitCode, 0xFFFFFFFFu);
    EXPECT_EQ(m_log.Messages().back(), L"ExitCode: -1");
}

TEST_F(UpdateRun, RefusesAnUnsignedUpdaterWithTheLaunchMessage)
{
    TempDir markers;
    ScopedEnvironmentVariable marker(L"TOLM_DEMO_MARKER", markers.File(L"ran.txt"));
    ScopedHandle process = Start(Publish(BinPath(kUnsignedUpdater)));
    const MessageBoxState box = AnswerMessageBox(process.Get());
    const ProcessResult result = WaitProcess(process.Get());
    EXPECT_EQ(result.exitCode, 1154u);
    EXPECT_FALSE(FileExists(markers.File(L"ran.txt")));

    const auto messages = m_log.Messages();
    std::wstring path;
    for (const auto& m : messages)
        if (m.rfind(L"Not Verified: ", 0) == 0)
            path = m.substr(14);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.rfind(m_downloads.Path(), 0), 0u) << "downloaded outside the settings directory";
    EXPECT_EQ(box.caption, ResourceString(IDS_APP_CAPTION));
    EXPECT_EQ(box.text, Formatted(IDS_ERR_LAUNCH_FAILED, 1154, path));
    EXPECT_NE(box.text.find(L"(0x00000482)\n(" + path + L")"), std::wstring::npos);
    EXPECT_FALSE(FileExists(path));
}

TEST_F(UpdateRun, ReportsAFailedDownloadWithItsCode)
{
    ScopedHandle process = Start(TestServerUrl(L"/_/status/404"));
    const MessageBoxState box = AnswerMessageBox(process.Get());
    const ProcessResult result = WaitProcess(process.Get());
    EXPECT_EQ(result.exitCode, 0x80190194u);
    EXPECT_EQ(box.caption, ResourceString(IDS_APP_CAPTION));
    EXPECT_EQ(box.text, Formatted(IDS_ERR_DOWNLOAD_FAILED, 0x80190194u));
    EXPECT_NE(FindMessage(m_log.Messages(), L"Failed Download Updater: 0x80190194"), -1);
    EXPECT_NE(FindMessage(m_log.Messages(), L"DownloadError: 0x80190194"), -1);
    EXPECT_EQ(ListDirectory(m_downloads.Path()), L"");
}

TEST_F(UpdateRun, OneCancelDuringASlowTransferEndsQuietly)
{
    ScopedHandle process = Start(TestServerUrl(kSlowTransfer));
    const HWND dialog = WaitForProgressDialog(::GetProcessId(process.Get()));
    ASSERT_NE(dialog, nullptr);

    // Already at its first sight the dialog shows the string-table texts, never the template's.
    const DialogState shown = ReadDialog(dialog);
    EXPECT_EQ(shown.caption, ResourceString(IDS_APP_CAPTION));
    EXPECT_EQ(shown.message, ResourceString(IDS_DOWNLOADING));
    EXPECT_TRUE(shown.cancelEnabled);

    ClickButton(dialog, IDCANCEL);
    const ProcessResult result = WaitProcess(process.Get());
    EXPECT_EQ(result.exitCode, static_cast<DWORD>(ERROR_CANCELLED));

    const auto messages = m_log.Messages();
    EXPECT_NE(FindMessage(messages, L"Download Status: Cancel"), -1);
    EXPECT_NE(FindMessage(messages, L"Cancel Download"), -1);
    for (const auto& m : messages)
        EXPECT_EQ(m.rfind(L"ShowErrorMessage", 0), std::wstring::npos) << "a message box was shown";
    EXPECT_EQ(ListDirectory(m_downloads.Path()), L"");
}

TEST_F(UpdateRun, SecondInstanceWhileTheFirstWaitsForItsUpdater)
{
    TempDir markers;
    ScopedEnvironmentVariable marker(L"TOLM_DEMO_MARKER", markers.File(L"ran.txt"));
    ScopedEnvironmentVariable sleep(L"TOLM_DEMO_SLEEP_MS", L"3000");
    ScopedHandle first = Start(Publish(BinPath(kSignedUpdater)));
    const ULONGLONG deadline = ::GetTickCount64() + 60000;
    while (!FileExists(markers.File(L"ran.txt")) && ::GetTickCount64() < deadline)
        ::Sleep(20);
    ASSERT_TRUE(FileExists(markers.File(L"ran.txt"))) << "the updater never ran";

    ScopedLogFile secondLog;
    ScopedHandle second = StartProcess(m_program.File(kExe), {L"/Clone", L"http://127.0.0.1:1/x.exe"});
    const DWORD secondId = ::GetProcessId(second.Get());
    const ProcessResult secondResult = WaitProcess(second.Get());
    EXPECT_EQ(secondResult.exitCode, 0u);
    EXPECT_FALSE(HasVisibleWindow(secondId));
    EXPECT_EQ(secondLog.Messages(), (std::vector<std::wstring>{L"IsAlreadyExists", L"ExitCode: 0"}));

    EXPECT_EQ(WaitProcess(first.Get()).exitCode, 0u);
}
