// The real TolmUpdaterExec.exe, run as a child process in this Wine session.
#include "TolmUpdaterExec.h"

#include "LogFile.h"
#include "Process.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

const std::wstring kExe = L"TolmUpdaterExec.exe";

// A copy of the program with Fetchkit.dll and, optionally, a KVLog.dll beside it.
void InstallProgram(const TempDir& dir, const std::wstring& kvlog)
{
    ASSERT_TRUE(CopyFileTo(BinPath(kExe), dir.File(kExe)));
    ASSERT_TRUE(CopyFileTo(BinPath(L"Fetchkit.dll"), dir.File(L"Fetchkit.dll")));
    if (!kvlog.empty()) {
        ASSERT_TRUE(CopyFileTo(kvlog, dir.File(L"KVLog.dll")));
    }
}

} // namespace

TEST(AppProcess, WithoutCloneTracesNotCloneAndExitsZero)
{
    ScopedLogFile log;
    const ProcessResult result = RunProcess(BinPath(kExe), {L"http://127.0.0.1:1/u.exe"});
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(log.Messages(), (std::vector<std::wstring>{L"NotClone", L"ExitCode: 0"}));
    for (const auto& line : log.Lines())
        EXPECT_EQ(line[0], L'[');
}

TEST(AppProcess, NoArgumentAtAllIsNotClone)
{
    ScopedLogFile log;
    const ProcessResult result = RunProcess(BinPath(kExe), {});
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(log.Messages(), (std::vector<std::wstring>{L"NotClone", L"ExitCode: 0"}));
}

TEST(AppProcess, SecondInstanceTracesIsAlreadyExists)
{
    // This test holds the guard, as a running first instance would.
    ScopedHandle guard(::CreateMutexW(nullptr, TRUE, kInstanceMutexName));
    ASSERT_TRUE(guard);
    ASSERT_NE(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    ScopedLogFile log;
    const ProcessResult result = RunProcess(BinPath(kExe), {L"/Clone", L"http://127.0.0.1:1/u.exe"});
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(log.Messages(), (std::vector<std::wstring>{L"IsAlreadyExists", L"ExitCode: 0"}));
}

TEST(AppProcess, RunsUntracedWithoutTheLoggingLibrary)
{
    TempDir dir;
    InstallProgram(dir, L"");
    ScopedLogFile log;
    const ProcessResult result = RunProcess(dir.File(kExe), {L"x"});
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_FALSE(FileExists(log.Path()));
}

TEST(AppProcess, RunsUntracedBesideALibraryWithoutTheExport)
{
    TempDir dir;
    InstallProgram(dir, BinDir() + L"\\noexport\\KVLog.dll");
    ScopedLogFile log;
    const ProcessResult result = RunProcess(dir.File(kExe), {L"x"});
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_FALSE(FileExists(log.Path()));
}

TEST(AppProcess, IgnoresALoggingLibraryInTheWorkingDirectory)
{
    TempDir programDir, workDir;
    InstallProgram(programDir, L"");
    ASSERT_TRUE(CopyFileTo(BinPath(L"KVLog.dll"), workDir.File(L"KVLog.dll")));
    ScopedLogFile log;
    const ProcessResult result = RunProcess(programDir.File(kExe), {L"x"}, workDir.Path());
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_FALSE(FileExists(log.Path()));
}
