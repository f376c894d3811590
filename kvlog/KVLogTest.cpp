// KVLog.dll loaded as the program loads it, and driven through its one export.
#include "LogFile.h"
#include "ScopedHandle.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <set>
#include <thread>
#include <vector>

namespace {

using WriteLogProc = void(WINAPI*)(const wchar_t*);

class KVLog : public testing::Test {
protected:
    void SetUp() override
    {
        m_library.Reset(::LoadLibraryW(BinPath(L"KVLog.dll").c_str()));
        ASSERT_TRUE(m_library);
        m_write = reinterpret_cast<WriteLogProc>(
            reinterpret_cast<void*>(::GetProcAddress(m_library.Get(), "KVL_WriteLog")));
        ASSERT_NE(m_write, nullptr);
    }

    ScopedLibrary m_library;
    WriteLogProc m_write = nullptr;
};

} // namespace

TEST_F(KVLog, AppendsOneStampedUtf8LinePerCall)
{
    ScopedLogFile log;
    m_write(L"[1]first");
    m_write(L"[2]\u30a2\u30c3\u30d7\u30c7\u30fc\u30bf");

    const std::wstring text = log.Text();
    const std::wregex record(LR"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[(\d+)\] ([^\r\n]*)\r\n)");
    std::vector<std::wstring> lines;
    for (std::wsregex_iterator it(text.begin(), text.end(), record), end; it != end; ++it) {
        EXPECT_EQ(std::stoul((*it)[1].str()), ::GetCurrentThreadId());
        lines.push_back((*it)[2].str());
    }
    EXPECT_EQ(lines, (std::vector<std::wstring>{L"[1]first", L"[2]\u30a2\u30c3\u30d7\u30c7\u30fc\u30bf"}));
    // UTF-8 on disk: the katakana take three bytes each.
    EXPECT_NE(ReadFileBytes(log.Path()).find("\xe3\x82\xa2"), std::string::npos);
}

TEST_F(KVLog, ConcurrentWritersNeverInterleave)
{
    ScopedLogFile log;
    const int perThread = 300;
    auto writer = [&](wchar_t tag) {
        for (int i = 0; i < perThread; ++i) {
            std::wstring line = L"[" + std::to_wstring(i) + L"]" + std::wstring(200, tag);
            m_write(line.c_str());
        }
    };
    std::thread a(writer, L'a'), b(writer, L'b');
    a.join();
    b.join();

    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 2u * perThread);
    std::set<std::wstring> seen;
    for (const auto& line : lines) {
        const std::wstring body = line.substr(line.find(L']') + 1);
        EXPECT_TRUE(body == std::wstring(200, L'a') || body == std::wstring(200, L'b')) << "torn line";
        seen.insert(line);
    }
    EXPECT_EQ(seen.size(), 2u * perThread);
}

TEST_F(KVLog, WithoutTheVariableWritesToTheTemporaryDirectory)
{
    ::SetEnvironmentVariableW(L"KVLOG_FILE", nullptr);
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"KVLog.log";
    ::DeleteFileW(path.c_str());
    m_write(L"[9]to temp");
    EXPECT_NE(ReadFileBytes(path).find("[9]to temp\r\n"), std::string::npos);
    ::DeleteFileW(path.c_str());
}

TEST_F(KVLog, AnUnwritableLogFileLosesTheLineQuietly)
{
    TempDir dir;
    ::SetEnvironmentVariableW(L"KVLOG_FILE", dir.File(L"missing\\sub\\trace.log").c_str());
    m_write(L"[1]lost");
    m_write(nullptr);
    ::SetEnvironmentVariableW(L"KVLOG_FILE", nullptr);
    EXPECT_FALSE(FileExists(dir.File(L"missing")));
}
