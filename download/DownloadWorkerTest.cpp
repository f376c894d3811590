// The download worker run on its own thread against the real Fetchkit.dll and the test web server.
// A plain hidden window of the test stands in for the dialog and its bar and records what the worker
// sends it.
//
// The received amount last sent to the bar is one value for the whole process, starting at -1. ctest
// runs each test in a process of its own; run as one program, the progress table comes first, so it
// still starts from -1, and no other test relies on that value.
#include "DlgDownloadProgress.h"
#include "DownloadWorker.h"

#include "HttpServer.h"
#include "ScopedEnvironment.h"
#include "LogFile.h"
#include "TempDir.h"
#include "Thread.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr DWORD kReportLimitMs = 60000;
constexpr DWORD kFromHttp404 = 0x80190194;

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    ULONGLONG tick;
};

// A plain hidden window that records the bar positions and reports it receives.
class RecorderWindow {
public:
    RecorderWindow()
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        ::RegisterClassW(&windowClass);  // fails harmlessly when an earlier window registered it
        m_window = ::CreateWindowExW(0, kClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                     windowClass.hInstance, this);
    }
    ~RecorderWindow() { ::DestroyWindow(m_window); }
    RecorderWindow(const RecorderWindow&) = delete;
    RecorderWindow& operator=(const RecorderWindow&) = delete;

    HWND Handle() const { return m_window; }
    const std::vector<Received>& Messages() const { return m_messages; }

    std::vector<int> Positions() const
    {
        std::vector<int> positions;
        for (const auto& received : m_messages)
            if (received.message == PBM_SETPOS)
                positions.push_back(static_cast<int>(received.wParam));
        return positions;
    }

    std::vector<Received> Reports() const
    {
        std::vector<Received> reports;
        std::copy_if(m_messages.begin(), m_messages.end(), std::back_inserter(reports),
                     [](const Received& received) { return received.message == WM_DOWNLOAD_FINISHED; });
        return reports;
    }

    // Handles sent and posted messages until |done| holds or |limitMs| has passed.
    bool PumpUntil(const std::function<bool()>& done, DWORD limitMs)
    {
        const ULONGLONG deadline = ::GetTickCount64() + limitMs;
        while (!done()) {
            const ULONGLONG now = ::GetTickCount64();
            if (now >= deadline)
                return false;
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                ::DispatchMessageW(&message);
        }
        return true;
    }

private:
    static constexpr const wchar_t* kClassName = L"DownloadWorkerTestRecorder";

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE)
            ::SetWindowLongPtrW(window, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        auto* self = reinterpret_cast<RecorderWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr && (message == PBM_SETPOS || message == WM_DOWNLOAD_FINISHED)) {
            self->m_messages.push_back({message, wParam, lParam, ::GetTickCount64()});
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    HWND m_window = nullptr;
    std::vector<Received> m_messages;
};

// One run of the worker on a dialog object whose window and bar are the recorder.
class WorkerRun {
public:
    WorkerRun(const std::wstring& url, const std::wstring& directory)
    {
        m_dialog.m_hWnd = m_window.Handle();
        m_dialog.m_ctlProgress.m_hWnd = m_window.Handle();
        m_dialog.m_strDownloadUrl = url.c_str();
        m_dialog.m_strUpdateTemp = directory.c_str();
    }
    // A run left unfinished by a failed expectation is cancelled: the worker writes into the dialog.
    ~WorkerRun()
    {
        if (m_thread && !Reported()) {
            m_dialog.m_bCancel = 1;
            WaitForReport(kReportLimitMs);
        }
    }

    CDlgDownloadProgress& Dialog() { return m_dialog; }
    RecorderWindow& Window() { return m_window; }

    bool Start()
    {
        m_thread = AfxBeginThread(&CDlgDownloadProgress::DownloadThread, &m_dialog);
        return m_thread.IsValid();
    }

    bool Reported() const { return !m_window.Reports().empty(); }

    // Pumps until the report has arrived and the thread has ended.
    bool WaitForReport(DWORD limitMs = kReportLimitMs)
    {
        return m_window.PumpUntil([this] { return Reported(); }, limitMs) &&
               ::WaitForSingleObject(m_thread.Get(), 10000) == WAIT_OBJECT_0;
    }

    // Pumps until the bar stands at |position| while the transfer still runs.
    bool WaitForPosition(int position)
    {
        const auto reached = [&] {
            const auto positions = m_window.Positions();
            return !positions.empty() && positions.back() == position;
        };
        m_window.PumpUntil([&] { return reached() || Reported(); }, kReportLimitMs);
        return reached() && !Reported();
    }

private:
    RecorderWindow m_window;
    CDlgDownloadProgress m_dialog;
    ScopedHandle m_thread;
};

// The runtime's temporary names are "\s", the process id in base 32, a dot and a counter.
std::wstring RuntimeStem()
{
    std::wstring digits;
    for (DWORD id = ::GetCurrentProcessId(); digits.empty() || id != 0; id /= 32)
        digits.insert(digits.begin(), L"0123456789abcdefghijklmnopqrstuv"[id % 32]);
    return L"\\s" + digits;
}

class DownloadWorker : public testing::Test {
protected:
    // As the program does on its main thread; the last balancing call also waits for the library's
    // threads, so no file of a cancelled transfer is still open when the directory goes.
    void SetUp() override { Fetchkit_Initialize(); }
    void TearDown() override { Fetchkit_Uninitialize(); }

    TempDir m_dir;
    ScopedLogFile m_log;
};

const std::vector<std::wstring> kStartOfThread = {
    L"START CDlgDownloadProgress::DownloadThread",
    L"START CDlgDownloadProgress::GetDownloadFilePath",
    L"Download to UpdateTemp from TOLM.DAT",
};

std::vector<std::wstring> Concat(std::vector<std::wstring> first, const std::vector<std::wstring>& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

} // namespace

// First in the program: see the note at the top.
TEST_F(DownloadWorker, ProgressTable)
{
    struct Row {
        const wchar_t* path;
        int position;   // the bar position once the server has sent what it sends
        bool complete;  // otherwise the server stalls there and the test cancels
    };
    const Row rows[] = {
        // Nothing ever arrives: the first reading sets 0, as the last amount starts at -1, and the
        // later readings of 0 send nothing.
        {L"/_/stall/100?after=0", 0, false},
        {L"/_/stall/100?after=29", 28, false},
        {L"/_/stall/100?after=57", 56, false},
        {L"/_/bytes/100", 100, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.path);
        WorkerRun run(TestServerUrl(row.path), m_dir.Path());
        ASSERT_TRUE(run.Start());
        if (!row.complete) {
            ASSERT_TRUE(run.WaitForPosition(row.position));
            // About five more poll cycles: readings of the same amount send nothing, 0 included.
            run.Window().PumpUntil([] { return false; }, 500);
            run.Dialog().m_bCancel = 1;
        }
        ASSERT_TRUE(run.WaitForReport());

        const std::vector<int> positions = run.Window().Positions();
        ASSERT_FALSE(positions.empty());
        EXPECT_EQ(positions.back(), row.position);
        EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
        EXPECT_TRUE(std::adjacent_find(positions.begin(), positions.end()) == positions.end());
        for (const auto& received : run.Window().Messages())
            EXPECT_EQ(received.lParam, 0);
        EXPECT_EQ(run.Dialog().m_dwError, row.complete ? 0u : static_cast<DWORD>(ERROR_CANCELLED));
    }
}

TEST(DownloadWorkerRules, ProgressPercentDividesFirstInDoublePrecisionAndTruncates)
{
    struct Row {
        LONGLONG received;
        LONGLONG total;
        int percent;
    };
    const Row rows[] = {
        {29, 100, 28}, {57, 100, 56}, {100, 100, 100}, {101, 100, 100}, {LLONG_MAX, 1, 100},
        {1, 3, 33},    {2, 3, 66},    {0, 100, 0},     {-5, 100, 0},    {50, 0, 0},
        {50, -1, 0},   {5000000000LL, 10000000000LL, 50},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ProgressPercent(row.received, row.total), row.percent) << row.received << " of " << row.total;
}

TEST(DownloadWorkerRules, ExtensionComesFromTheLastPathSegmentAndMustSuitAFileName)
{
    struct Row {
        const wchar_t* url;
        const wchar_t* extension;
    };
    const Row rows[] = {
        {L"https://host/u.exe?v=2", L".exe"},
        {L"https://host/a/b.msi#part", L".msi"},
        {L"https://host/a/b.exe?x=1#y", L".exe"},
        {L"http://host:8080/Setup.EXE", L".EXE"},
        {L"http://host/setup.tar.gz", L".gz"},
        {L"http://host/a%20b.ex%65", L".ex%65"},
        {L"host/dir/file.exe", L".exe"},
        {L"https://example.com/get", L""},
        {L"https://example.com", L""},
        {L"https://example.com/", L""},
        {L"http://user:pw@example.com", L""},
        {L"http://host/dir.d/setup", L""},
        {L"http://host/?file=a.exe", L""},
        {L"http://host/get#a.exe", L""},
        {L"http://host/a.e:x", L""},
        {L"http://host/a.e|x", L""},
        {L"http://host/a.e\"x", L""},
        {L"http://host/a.e*x", L""},
        {L"http://host/a.e<x>", L""},
        {L"http://host/a\\b.exe", L".exe"},
        {L"http://host/a.e\\x", L""},
        {L"http://host/a.e\x01x", L""},
        {L"", L""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(std::wstring(FileExtensionFromUrl(row.url)), row.extension) << row.url;
}

TEST_F(DownloadWorker, DirectoryFromTheSettingsOrTheUsersTemporaryDirectory)
{
    TempDir userTemp;
    const std::wstring tooLong = L"C:\\" + std::wstring(300, L'a');
    struct Row {
        const char* name;
        std::wstring updateTemp;
        std::wstring tmp;
        std::wstring path;
        DWORD error;
        const wchar_t* trace;
    };
    const Row rows[] = {
        {"Settings", m_dir.Path(), userTemp.Path(), m_dir.Path() + RuntimeStem() + L".exe", 0,
         L"Download to UpdateTemp from TOLM.DAT"},
        // The temporary directory ends with a backslash and the stem starts with one: the two stay.
        {"UserTemp", L"", userTemp.Path(), userTemp.Path() + L"\\" + RuntimeStem() + L".exe", 0,
         L"Download to UserTemp"},
        // Wine's GetTempPathW fails outright on a directory longer than its buffer; the step goes on
        // without a directory and leaves the failure's code.
        {"TempPathFails", L"", tooLong, RuntimeStem() + L".exe", ERROR_FILENAME_EXCED_RANGE,
         L"Failed GetTempPath"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedLogFile log;
        ScopedEnvironmentVariable tmp(L"TMP", row.tmp);
        CDlgDownloadProgress dialog;
        dialog.m_strDownloadUrl = L"https://host/u.exe?v=2";
        dialog.m_strUpdateTemp = row.updateTemp.c_str();
        CString path;
        dialog.GetDownloadFilePath(path);

        EXPECT_EQ(std::wstring(path), row.path);
        EXPECT_EQ(dialog.m_dwError, row.error);
        const std::vector<std::wstring> expected = {
            L"START CDlgDownloadProgress::GetDownloadFilePath",
            row.trace,
            L"END CDlgDownloadProgress::GetDownloadFilePath: " + row.path,
        };
        EXPECT_EQ(log.Messages(), expected);
    }
}

TEST_F(DownloadWorker, ExistingCandidatesAreSkipped)
{
    const std::wstring stem = m_dir.Path() + RuntimeStem();
    WriteFileBytes(stem, "first");
    WriteFileBytes(stem + L"_1", "second");

    // The URL's last segment has no dot, so the candidates have no extension.
    WorkerRun run(TestServerUrl(L"/_/bytes/3000"), m_dir.Path());
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitForReport());

    EXPECT_EQ(run.Dialog().m_dwError, 0u);
    EXPECT_EQ(std::wstring(run.Dialog().m_strDownloadPath), stem + L"_2");
    EXPECT_EQ(ReadFileBytes(stem), "first");
    EXPECT_EQ(ReadFileBytes(stem + L"_1"), "second");
    EXPECT_TRUE(IsPattern(ReadFileBytes(stem + L"_2"), 3000));
}

TEST_F(DownloadWorker, CompleteTransfer)
{
    WorkerRun run(TestServerUrl(L"/_/slow/300000?rate=1000000"), m_dir.Path());
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitForReport());

    const CDlgDownloadProgress& dialog = run.Dialog();
    const std::wstring path = m_dir.Path() + RuntimeStem();
    EXPECT_EQ(dialog.m_dwError, 0u);
    EXPECT_EQ(dialog.m_bCancel.load(), 0);
    EXPECT_NE(dialog.m_hDownload, 0u);
    EXPECT_EQ(std::wstring(dialog.m_strDownloadPath), path);
    EXPECT_TRUE(IsPattern(ReadFileBytes(path), 300000));

    const std::vector<int> positions = run.Window().Positions();
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.back(), 100);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_GE(positions.front(), 0);

    // One report, wParam and lParam 0, after every bar message.
    const auto& messages = run.Window().Messages();
    ASSERT_EQ(run.Window().Reports().size(), 1u);
    EXPECT_EQ(messages.back().message, WM_DOWNLOAD_FINISHED);
    EXPECT_EQ(messages.back().wParam, 0u);
    EXPECT_EQ(messages.back().lParam, 0);

    EXPECT_EQ(m_log.Messages(), Concat(kStartOfThread, {
                                                           L"END CDlgDownloadProgress::GetDownloadFilePath: " + path,
                                                           L"Download Status: Complete",
                                                           L"END CDlgDownloadProgress::DownloadThread",
                                                       }));
}

TEST_F(DownloadWorker, FailedTransferRecordsTheLibrarysCode)
{
    WorkerRun run(TestServerUrl(L"/_/status/404"), m_dir.Path());
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.WaitForReport());

    EXPECT_EQ(run.Dialog().m_dwError, kFromHttp404);
    EXPECT_EQ(run.Dialog().m_bCancel.load(), 0);
    const std::wstring path = m_dir.Path() + RuntimeStem();
    EXPECT_EQ(m_log.Messages(), Concat(kStartOfThread, {
                                                           L"END CDlgDownloadProgress::GetDownloadFilePath: " + path,
                                                           L"Download Status: Failed",
                                                           L"END CDlgDownloadProgress::DownloadThread",
                                                       }));
}

enum class CancelBy { FlagBeforeStart, FlagDuringStall, LibraryDuringStall };

std::string CancelByName(CancelBy by)
{
    switch (by) {
    case CancelBy::FlagBeforeStart:
        return "FlagBeforeStart";
    case CancelBy::FlagDuringStall:
        return "FlagDuringStall";
    case CancelBy::LibraryDuringStall:
        return "LibraryDuringStall";
    }
    return "?";
}

void PrintTo(CancelBy by, std::ostream* out)
{
    *out << CancelByName(by);
}

class DownloadWorkerCancel : public DownloadWorker, public testing::WithParamInterface<CancelBy> {};

TEST_P(DownloadWorkerCancel, EndsCancelledWithTheFlagSet)
{
    WorkerRun run(TestServerUrl(L"/_/stall/1000?after=500"), m_dir.Path());
    CDlgDownloadProgress& dialog = run.Dialog();
    if (GetParam() == CancelBy::FlagBeforeStart)
        dialog.m_bCancel = 1;
    ASSERT_TRUE(run.Start());

    ULONGLONG cancelTick = 0;
    if (GetParam() != CancelBy::FlagBeforeStart) {
        ASSERT_TRUE(run.WaitForPosition(50));
        cancelTick = ::GetTickCount64();
        if (GetParam() == CancelBy::FlagDuringStall)
            dialog.m_bCancel = 1;
        else
            Fetchkit_Cancel(dialog.m_hDownload);
    }
    ASSERT_TRUE(run.WaitForReport());

    EXPECT_EQ(dialog.m_dwError, static_cast<DWORD>(ERROR_CANCELLED));
    EXPECT_EQ(dialog.m_bCancel.load(), 1);
    EXPECT_NE(dialog.m_hDownload, 0u);
    const std::vector<int> positions = run.Window().Positions();
    if (GetParam() == CancelBy::FlagBeforeStart) {
        // The transfer is started and cancelled in the first cycle, before any reading.
        EXPECT_TRUE(positions.empty());
    } else {
        EXPECT_EQ(positions.back(), 50);
        // Two poll periods plus the library's calls; the stall itself would last for minutes.
        const ULONGLONG elapsed = run.Window().Reports().front().tick - cancelTick;
        RecordProperty("CancelToReportMs", static_cast<int>(elapsed));
        EXPECT_LT(elapsed, 2000u);
    }
    const std::wstring path = m_dir.Path() + RuntimeStem();
    EXPECT_EQ(m_log.Messages(), Concat(kStartOfThread, {
                                                           L"END CDlgDownloadProgress::GetDownloadFilePath: " + path,
                                                           L"Download Status: Cancel",
                                                           L"END CDlgDownloadProgress::DownloadThread",
                                                       }));
}

INSTANTIATE_TEST_SUITE_P(By, DownloadWorkerCancel,
                         testing::Values(CancelBy::FlagBeforeStart, CancelBy::FlagDuringStall,
                                         CancelBy::LibraryDuringStall),
                         [](const testing::TestParamInfo<CancelBy>& info) { return CancelByName(info.param); });

// A name step that fails makes no library call: the report follows at once, with no path.
TEST_F(DownloadWorker, FailedNameStepReportsWithoutATransfer)
{
    struct Row {
        const char* name;
        std::wstring updateTemp;
        int takenCandidates;
        DWORD error;
        std::vector<std::wstring> directoryTrace;
    };
    const Row rows[] = {
        {"EveryCandidateTaken", m_dir.Path(), 100, ERROR_FILE_EXISTS, {L"Download to UpdateTemp from TOLM.DAT"}},
        {"SettingsDirectoryTooLong", L"C:\\" + std::wstring(MAX_PATH - 3, L'a'), 0, ERROR_FILENAME_EXCED_RANGE, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedLogFile log;
        const std::wstring stem = m_dir.Path() + RuntimeStem();
        for (int taken = 0; taken < row.takenCandidates; ++taken)
            WriteFileBytes(stem + (taken == 0 ? L"" : L"_" + std::to_wstring(taken)), "taken");

        WorkerRun run(TestServerUrl(L"/_/bytes/100"), row.updateTemp);
        ASSERT_TRUE(run.Start());
        ASSERT_TRUE(run.WaitForReport());

        const CDlgDownloadProgress& dialog = run.Dialog();
        EXPECT_EQ(dialog.m_dwError, row.error);
        EXPECT_TRUE(dialog.m_strDownloadPath.IsEmpty());
        EXPECT_EQ(dialog.m_hDownload, 0u);
        EXPECT_TRUE(run.Window().Positions().empty());
        EXPECT_EQ(run.Window().Reports().size(), 1u);

        std::vector<std::wstring> expected = {L"START CDlgDownloadProgress::DownloadThread",
                                              L"START CDlgDownloadProgress::GetDownloadFilePath"};
        expected = Concat(expected, row.directoryTrace);
        expected = Concat(expected, {L"Failed Create unique updater file name",
                                     L"END CDlgDownloadProgress::GetDownloadFilePath: ",
                                     L"END CDlgDownloadProgress::DownloadThread"});
        EXPECT_EQ(log.Messages(), expected);
    }
}
