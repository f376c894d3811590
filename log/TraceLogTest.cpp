// The trace writer of this test program is bound to the KVLog.dll beside it, so each line written
// here can be read back from the log file.
#include "TraceLog.h"

#include "LogFile.h"

#include <gtest/gtest.h>

#include <vector>

TEST(TraceLog, BindsTheLibraryBesideTheProgram)
{
    EXPECT_TRUE(g_TraceLog.IsBound());
    EXPECT_TRUE(g_TraceLog.IsTracing());
}

TEST(TraceLog, FormatsLineNumberAndMessage)
{
    ScopedLogFile log;
    g_TraceLog.Write(125, L"%s", L"IsAlreadyExists");
    g_TraceLog.Write(162, L"ExitCode: %d", 0xFFFFFFFFu);
    g_TraceLog.Write(224, L"Failed Download Updater: 0x%08X", 1154u);
    g_TraceLog.Write(7, L"START %hs", "CTolmUpdaterExecApp::DownloadAndLaunchUpdater");
    g_TraceLog.Write(-3, L"%s: %s", L"Not Verified", L"C:\\\u30c6\u30b9\u30c8\\s1.exe");

    const std::vector<std::wstring> expected = {
        L"[125]IsAlreadyExists",
        L"[162]ExitCode: -1",
        L"[224]Failed Download Updater: 0x00000482",
        L"[7]START CTolmUpdaterExecApp::DownloadAndLaunchUpdater",
        L"[-3]Not Verified: C:\\\u30c6\u30b9\u30c8\\s1.exe",
    };
    EXPECT_EQ(log.Lines(), expected);
}

TEST(TraceLog, PercentInAMessageArrivesUnchanged)
{
    ScopedLogFile log;
    g_TraceLog.Write(1, L"%s", L"http://host/a%20b%s%d%n.exe");
    g_TraceLog.Write(2, L"File Not Found: %s", L"C:\\100%\\%08X");
    const std::vector<std::wstring> expected = {L"[1]http://host/a%20b%s%d%n.exe", L"[2]File Not Found: C:\\100%\\%08X"};
    EXPECT_EQ(log.Lines(), expected);
}

TEST(TraceLog, TraceMacroSuppliesTheCallSiteLine)
{
    ScopedLogFile log;
    const int line = __LINE__ + 1;
    TRACE_LOG(L"%s", L"here");
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0], L"[" + std::to_wstring(line) + L"]here");
}
