// Fetchkit.dll against the test web server on 127.0.0.1: outcomes, files left on disk, progress, cancel.
#include "Fetchkit.h"
#include "HttpServer.h"
#include "Process.h"
#include "TempDir.h"
#include "TestPaths.h"

#include <gtest/gtest.h>
#include <wininet.h>

#include <string>

namespace {
constexpr DWORD kWaitLimitMs = 60000;
constexpr DWORD kPromptMs = 10000;  // well under the default stall timeout of 30 s

struct Outcome {
    LONG status = 0;
    DWORD error = 0;
    LONGLONG received = -1;
    LONGLONG total = -1;
};

// Polls until the transfer leaves RUNNING, as the program does, but more often.
Outcome WaitForEnd(FETCHKIT_HANDLE handle, DWORD limitMs = kWaitLimitMs)
{
    Outcome outcome;
    const ULONGLONG deadline = ::GetTickCount64() + limitMs;
    while ((outcome.status = Fetchkit_GetStatus(handle)) == FETCHKIT_STATUS_RUNNING && ::GetTickCount64() < deadline)
        ::Sleep(20);
    Fetchkit_GetProgress(handle, &outcome.received, &outcome.total);
    if (outcome.status == FETCHKIT_STATUS_FAILED)
        outcome.error = Fetchkit_GetError(handle);
    return outcome;
}

// Waits until at least |bytes| have arrived while the transfer still runs.
bool WaitForBytes(FETCHKIT_HANDLE handle, LONGLONG bytes)
{
    const ULONGLONG deadline = ::GetTickCount64() + kWaitLimitMs;
    LONGLONG received = 0, total = 0;
    while (::GetTickCount64() < deadline && Fetchkit_GetStatus(handle) == FETCHKIT_STATUS_RUNNING) {
        Fetchkit_GetProgress(handle, &received, &total);
        if (received >= bytes)
            return true;
        ::Sleep(20);
    }
    return false;
}

class FetchkitTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(TestServerUrl(L"/").empty()) << "the http_server fixture is not running";
        Fetchkit_Initialize();
    }
    void TearDown() override { Fetchkit_Uninitialize(); }

    Outcome Fetch(const std::wstring& url, DWORD stallTimeoutMs = 0)
    {
        return WaitForEnd(Fetchkit_StartDownload(url.c_str(), m_path.c_str(), stallTimeoutMs, 0));
    }

    TempDir m_dir;
    const std::wstring m_path = m_dir.File(L"download.bin");
};

struct OutcomeCase {
    const char* name;
    const wchar_t* path;
    LONG status;
    DWORD error;
    long long bodySize;  // of the generated body that a complete transfer leaves
    long long total;     // reported at the end
};

void PrintTo(const OutcomeCase& c, std::ostream* os)
{
    *os << c.name;
}

class FetchkitOutcomeTest : public FetchkitTest, public testing::WithParamInterface<OutcomeCase> {};

TEST_P(FetchkitOutcomeTest, EndsAsExpectedAndLeavesOnlyAWholeFile)
{
    const OutcomeCase& c = GetParam();
    const Outcome outcome = Fetch(TestServerUrl(c.path));
    EXPECT_EQ(c.status, outcome.status);
    EXPECT_EQ(c.error, outcome.error) << std::hex << outcome.error;
    if (c.status == FETCHKIT_STATUS_COMPLETE) {
        EXPECT_TRUE(IsPattern(ReadFileBytes(m_path), static_cast<size_t>(c.bodySize)));
        EXPECT_EQ(c.bodySize, outcome.received);
        EXPECT_EQ(c.total, outcome.total);
    } else {
        EXPECT_FALSE(FileExists(m_path));
    }
}

const OutcomeCase kOutcomeCases[] = {
    {"KnownLength", L"/_/bytes/300000", FETCHKIT_STATUS_COMPLETE, 0, 300000, 300000},
    {"Empty", L"/_/bytes/0", FETCHKIT_STATUS_COMPLETE, 0, 0, 0},
    {"ChunkedUnknownLength", L"/_/chunked/300000", FETCHKIT_STATUS_COMPLETE, 0, 300000, 0},
    {"RelativeRedirect", L"/_/redirect?to=/_/bytes/1000", FETCHKIT_STATUS_COMPLETE, 0, 1000, 1000},
    {"RedirectChain", L"/_/redirect?code=307&to=/_/redirect%3Fcode%3D301%26to%3D/_/bytes/1000",
     FETCHKIT_STATUS_COMPLETE, 0, 1000, 1000},
    {"DropResumedWithRanges", L"/_/drop/1000000?after=300000&ranges=1", FETCHKIT_STATUS_COMPLETE, 0, 1000000,
     1000000},
    {"ResetResumedWithRanges", L"/_/drop/1000000?after=300000&ranges=1&reset=1", FETCHKIT_STATUS_COMPLETE, 0,
     1000000, 1000000},
    {"NotFound", L"/_/status/404", FETCHKIT_STATUS_FAILED, 0x80190194, 0, 0},
    {"ServerError", L"/_/status/500", FETCHKIT_STATUS_FAILED, 0x801901F4, 0, 0},
    {"RedirectLoop", L"/_/redirect-loop", FETCHKIT_STATUS_FAILED, ERROR_HTTP_REDIRECT_FAILED, 0, 0},
    {"DropWithoutRanges", L"/_/drop/1000000?after=300000", FETCHKIT_STATUS_FAILED,
     ERROR_INTERNET_CONNECTION_ABORTED, 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Server, FetchkitOutcomeTest, testing::ValuesIn(kOutcomeCases),
                         [](const testing::TestParamInfo<OutcomeCase>& info) { return info.param.name; });

TEST_F(FetchkitTest, RefusesUrlsThatAreNotHttp)
{
    const std::pair<const wchar_t*, DWORD> cases[] = {
        {L"ftp://127.0.0.1/file.exe", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
        {L"file:///C:/windows/notepad.exe", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
        {L"no url at all", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
    };
    for (const auto& [url, error] : cases) {
        const Outcome outcome = Fetch(url);
        EXPECT_EQ(FETCHKIT_STATUS_FAILED, outcome.status) << url;
        EXPECT_EQ(error, outcome.error) << url;
        EXPECT_FALSE(FileExists(m_path)) << url;
    }
}

TEST_F(FetchkitTest, UnreachableServerFailsWithTheNetworkError)
{
    const Outcome outcome = Fetch(L"http://127.0.0.1:1/file.exe");
    EXPECT_EQ(FETCHKIT_STATUS_FAILED, outcome.status);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT), outcome.error);
    EXPECT_FALSE(FileExists(m_path));
}

TEST_F(FetchkitTest, LargeBodyArrivesByteForByte)
{
    const size_t size = 48 * 1024 * 1024 + 12345;
    const Outcome outcome = Fetch(TestServerUrl(L"/_/bytes/" + std::to_wstring(size)));
    ASSERT_EQ(FETCHKIT_STATUS_COMPLETE, outcome.status) << std::hex << outcome.error;
    EXPECT_TRUE(IsPattern(ReadFileBytes(m_path), size));
}

TEST_F(FetchkitTest, StaticFileFromTheServerRoot)
{
    const std::wstring name = L"fetchkit-" + std::to_wstring(::GetCurrentProcessId()) + L".exe";
    std::string content(700000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>((i * 7919) >> 5);
    WriteFileBytes(TestServerRoot() + L"\\" + name, content);
    const Outcome outcome = Fetch(TestServerUrl(L"/" + name));
    ::DeleteFileW((TestServerRoot() + L"\\" + name).c_str());
    ASSERT_EQ(FETCHKIT_STATUS_COMPLETE, outcome.status) << std::hex << outcome.error;
    EXPECT_EQ(content, ReadFileBytes(m_path));
}

TEST_F(FetchkitTest, ExistingFileIsNeitherReplacedNorDeleted)
{
    WriteFileBytes(m_path, "keep me");
    const Outcome outcome = Fetch(TestServerUrl(L"/_/bytes/1000"));
    EXPECT_EQ(FETCHKIT_STATUS_FAILED, outcome.status);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), outcome.error);
    EXPECT_EQ("keep me", ReadFileBytes(m_path));
}

TEST_F(FetchkitTest, MissingFolderFailsWithTheFileSystemError)
{
    const std::wstring path = m_dir.File(L"missing\\download.bin");
    const Outcome outcome =
        WaitForEnd(Fetchkit_StartDownload(TestServerUrl(L"/_/bytes/1000").c_str(), path.c_str(), 0, 0));
    EXPECT_EQ(FETCHKIT_STATUS_FAILED, outcome.status);
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), outcome.error);
}

TEST_F(FetchkitTest, StalledTransferFailsWithTheTimeoutCode)
{
    const Outcome outcome = Fetch(TestServerUrl(L"/_/stall/100000?after=5000"), 1000);
    EXPECT_EQ(FETCHKIT_STATUS_FAILED, outcome.status);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_TIMEOUT), outcome.error);
    EXPECT_FALSE(FileExists(m_path));
}

TEST_F(FetchkitTest, CancelEndsPromptlyAndLeavesNoFile)
{
    // A read blocked in a stall, and a fast transfer whose reads never wait.
    const std::pair<const wchar_t*, LONGLONG> cases[] = {
        {L"/_/stall/100000?after=5000", 5000},
        {L"/_/bytes/67108864", 1024 * 1024},
    };
    for (const auto& [path, bytesFirst] : cases) {
        const std::wstring file = m_dir.File(L"cancelled.bin");
        const FETCHKIT_HANDLE handle = Fetchkit_StartDownload(TestServerUrl(path).c_str(), file.c_str(), 0, 0);
        ASSERT_TRUE(WaitForBytes(handle, bytesFirst)) << path;
        EXPECT_TRUE(FileExists(file)) << path;
        EXPECT_TRUE(Fetchkit_Cancel(handle));
        const Outcome outcome = WaitForEnd(handle, kPromptMs);
        EXPECT_EQ(FETCHKIT_STATUS_CANCELLED, outcome.status) << path;
        EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), Fetchkit_GetError(handle)) << path;
        EXPECT_FALSE(FileExists(file)) << path;
    }
}

TEST_F(FetchkitTest, ProgressGrowsTowardsTheTotalDuringATrickle)
{
    const FETCHKIT_HANDLE handle =
        Fetchkit_StartDownload(TestServerUrl(L"/_/slow/200000?rate=100000").c_str(), m_path.c_str(), 0, 0);
    ASSERT_TRUE(WaitForBytes(handle, 1));
    LONGLONG received = 0, total = 0;
    Fetchkit_GetProgress(handle, &received, &total);
    EXPECT_EQ(200000, total);
    EXPECT_LT(received, total);
    const Outcome outcome = WaitForEnd(handle);
    EXPECT_EQ(FETCHKIT_STATUS_COMPLETE, outcome.status);
    EXPECT_EQ(200000, outcome.received);
    EXPECT_TRUE(IsPattern(ReadFileBytes(m_path), 200000));
}

TEST_F(FetchkitTest, UninitializeEndsRunningTransfersAndRemovesTheirFiles)
{
    const FETCHKIT_HANDLE handle =
        Fetchkit_StartDownload(TestServerUrl(L"/_/stall/100000?after=5000").c_str(), m_path.c_str(), 0, 0);
    ASSERT_TRUE(WaitForBytes(handle, 5000));
    Fetchkit_Uninitialize();
    EXPECT_FALSE(FileExists(m_path));
    EXPECT_EQ(0, Fetchkit_GetStatus(handle));
    Fetchkit_Initialize();
}

TEST_F(FetchkitTest, UnknownHandleGivesStatusZeroAndInvalidHandle)
{
    for (FETCHKIT_HANDLE handle : {FETCHKIT_HANDLE(0), FETCHKIT_HANDLE(0xDEADBEEF)}) {
        ::SetLastError(0);
        EXPECT_EQ(0, Fetchkit_GetStatus(handle));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), ::GetLastError());
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), Fetchkit_GetError(handle));
        LONGLONG received = 0, total = 0;
        EXPECT_FALSE(Fetchkit_GetProgress(handle, &received, &total));
        EXPECT_EQ(0, received);
        EXPECT_EQ(0, total);
        EXPECT_FALSE(Fetchkit_Cancel(handle));
    }
}

TEST_F(FetchkitTest, MissingArgumentsAndUnknownFlagsFail)
{
    const std::wstring url = TestServerUrl(L"/_/bytes/1000");
    for (const FETCHKIT_HANDLE handle : {Fetchkit_StartDownload(nullptr, m_path.c_str(), 0, 0),
                                         Fetchkit_StartDownload(url.c_str(), nullptr, 0, 0),
                                         Fetchkit_StartDownload(url.c_str(), m_path.c_str(), 0, 1)}) {
        const Outcome outcome = WaitForEnd(handle);
        EXPECT_EQ(FETCHKIT_STATUS_FAILED, outcome.status);
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), outcome.error);
    }
    EXPECT_FALSE(FileExists(m_path));
}

TEST_F(FetchkitTest, HttpsWithTheTrustedTestRoot)
{
    const std::wstring url = TestServerUrl(L"/_/redirect?to=/_/bytes/100000", true);
    ASSERT_FALSE(url.empty()) << "the server has no TLS port";
    const Outcome outcome = Fetch(url);
    EXPECT_EQ(FETCHKIT_STATUS_COMPLETE, outcome.status) << std::hex << outcome.error;
    EXPECT_TRUE(IsPattern(ReadFileBytes(m_path), 100000));
}

TEST_F(FetchkitTest, RedirectFromHttpsToHttpIsRefused)
{
    const Outcome outcome = Fetch(TestServerUrl(L"/_/to-http/_/bytes/1000", true));
    EXPECT_EQ(FETCHKIT_STATUS_FAILED, outcome.status);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR), outcome.error);
    EXPECT_FALSE(FileExists(m_path));
}

TEST(FetchkitGetTest, ExitsWithZeroOrTheTransferError)
{
    TempDir dir;
    const ProcessResult complete = RunProcess(BinPath(L"fetchkit-get.exe"),
                                              {TestServerUrl(L"/_/bytes/5000"), dir.File(L"a.bin")});
    EXPECT_EQ(0u, complete.exitCode);
    EXPECT_TRUE(IsPattern(ReadFileBytes(dir.File(L"a.bin")), 5000));
    const ProcessResult missing = RunProcess(BinPath(L"fetchkit-get.exe"),
                                             {TestServerUrl(L"/_/status/404"), dir.File(L"b.bin")});
    EXPECT_EQ(0x80190194u, missing.exitCode);
    EXPECT_FALSE(FileExists(dir.File(L"b.bin")));
}
} // namespace
