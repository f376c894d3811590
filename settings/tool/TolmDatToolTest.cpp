// The real tolmdat.exe, run as a child process with its output captured.
#include "TolmDat.h"

#include "Process.h"
#include "ScopedHandle.h"
#include "TempDir.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct ToolRun {
    bool finished = false;
    DWORD exitCode = 0;
    std::string out;
    std::string err;
};

ScopedFileHandle InheritableFile(const std::wstring& path)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    return ScopedFileHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
}

ToolRun RunTool(const std::vector<std::wstring>& args)
{
    ToolRun run;
    TempDir outputs;
    const std::wstring outPath = outputs.File(L"out.txt");
    const std::wstring errPath = outputs.File(L"err.txt");
    {
        ScopedFileHandle out = InheritableFile(outPath);
        ScopedFileHandle err = InheritableFile(errPath);
        if (!out || !err)
            return run;

        const std::wstring exe = BinPath(L"tolmdat.exe");
        std::wstring commandLine = QuoteArgument(exe);
        for (const auto& arg : args)
            commandLine += L" " + QuoteArgument(arg);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = out.Get();
        startup.hStdError = err.Get();
        PROCESS_INFORMATION info = {};
        if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                              &info))
            return run;
        ScopedHandle thread(info.hThread);
        ScopedHandle process(info.hProcess);
        const ProcessResult result = WaitProcess(process.Get());
        run.finished = !result.timedOut;
        run.exitCode = result.exitCode;
    }
    run.out = ReadFileBytes(outPath);
    run.err = ReadFileBytes(errPath);
    return run;
}

std::string Utf8(const std::wstring& text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                          nullptr);
    return bytes;
}

const std::string kDocument =
    "<root><EntryInfo>C:\\Tolm\\Entry</EntryInfo><UpdateTemp>C:\\Tolm\\Update</UpdateTemp>"
    "<OrbWorkTemp>C:\\Tolm\\Orb</OrbWorkTemp><UpdateServerUrl>https://update.example/</UpdateServerUrl>"
    "<AppID>TOLM-0001</AppID><CookieUrl>https://cookie.example/</CookieUrl></root>";

// Every byte value, zero among them, in no regular order.
std::string ArbitraryBytes()
{
    std::string bytes;
    for (int i = 0; i < 1000; ++i)
        bytes.push_back(static_cast<char>((i * 151 + 7) % 256));
    return bytes;
}

} // namespace

TEST(TolmDatTool, ScrambleAndUnscrambleRoundTripAnyBytes)
{
    TempDir dir;
    const std::string original = ArbitraryBytes();
    WriteFileBytes(dir.File(L"in.bin"), original);

    const ToolRun scramble = RunTool({L"scramble", dir.File(L"in.bin"), dir.File(L"Tolm.dat")});
    ASSERT_TRUE(scramble.finished);
    EXPECT_EQ(scramble.exitCode, 0u) << scramble.err;
    const std::string scrambled = ReadFileBytes(dir.File(L"Tolm.dat"));
    EXPECT_EQ(scrambled.size(), original.size());
    EXPECT_NE(scrambled, original);

    const ToolRun unscramble = RunTool({L"unscramble", dir.File(L"Tolm.dat"), dir.File(L"out.bin")});
    EXPECT_EQ(unscramble.exitCode, 0u) << unscramble.err;
    EXPECT_EQ(ReadFileBytes(dir.File(L"out.bin")), original);
}

TEST(TolmDatTool, ShowPrintsWhatTheProgramLoadsFromAScrambledFile)
{
    TempDir dir;
    WriteFileBytes(dir.File(L"Tolmdat.in"), kDocument);
    ASSERT_EQ(RunTool({L"scramble", dir.File(L"Tolmdat.in"), dir.File(L"Tolm.dat")}).exitCode, 0u);

    const ToolRun show = RunTool({L"show", dir.Path()});
    ASSERT_TRUE(show.finished);
    EXPECT_EQ(show.exitCode, 0u);
    EXPECT_EQ(show.out, Utf8(L"File: " + dir.File(L"Tolm.dat") + L"\r\n") +
                            "Result: 0x00000000\r\n"
                            "EntryInfo: C:\\Tolm\\Entry\r\n"
                            "UpdateTemp: C:\\Tolm\\Update\r\n"
                            "OrbWorkTemp: C:\\Tolm\\Orb\r\n"
                            "UpdateServerUrl: https://update.example/\r\n"
                            "AppID: TOLM-0001\r\n"
                            "CookieUrl: https://cookie.example/\r\n");
    EXPECT_EQ(show.err, "");
}

namespace {

struct ShowFailureCase {
    const char* name;
    std::string plain;  // Tolmdat.xml's bytes; none when empty
    DWORD result;
    const char* message;
};

void PrintTo(const ShowFailureCase& test, std::ostream* os)
{
    *os << test.name;
}

const ShowFailureCase kShowFailureCases[] = {
    {"NeitherFile", "", ERROR_FILE_NOT_FOUND, "neither Tolmdat.xml nor Tolm.dat is in "},
    {"IllFormed", "<root><AppID>x</root>", ERROR_XML_PARSE_ERROR, "does not read or does not load as an XML document"},
};

class TolmDatToolShowFailure : public testing::TestWithParam<ShowFailureCase> {};

} // namespace

TEST_P(TolmDatToolShowFailure, ExitsWithTheResultCodeAndSaysWhy)
{
    const ShowFailureCase& test = GetParam();
    TempDir dir;
    if (!test.plain.empty())
        WriteFileBytes(dir.File(L"Tolmdat.xml"), test.plain);

    const ToolRun show = RunTool({L"show", dir.Path()});
    ASSERT_TRUE(show.finished);
    EXPECT_EQ(show.exitCode, test.result);
    char resultLine[64];
    snprintf(resultLine, sizeof(resultLine), "Result: 0x%08X\r\n", static_cast<unsigned>(test.result));
    EXPECT_NE(show.out.find(resultLine), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("AppID: \r\n"), std::string::npos) << show.out;
    EXPECT_EQ(show.err.rfind("tolmdat: ", 0), 0u) << show.err;
    EXPECT_NE(show.err.find(test.message), std::string::npos) << show.err;
}

INSTANTIATE_TEST_SUITE_P(TolmDatTool, TolmDatToolShowFailure, testing::ValuesIn(kShowFailureCases),
                         [](const testing::TestParamInfo<ShowFailureCase>& info) { return info.param.name; });

TEST(TolmDatTool, AnExistingOutputIsReplacedOnlyWithForce)
{
    TempDir dir;
    WriteFileBytes(dir.File(L"Tolmdat.xml"), kDocument);
    WriteFileBytes(dir.File(L"Tolm.dat"), "old");

    const ToolRun refused = RunTool({L"scramble", dir.File(L"Tolmdat.xml"), dir.File(L"Tolm.dat")});
    EXPECT_EQ(refused.exitCode, static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_NE(refused.err.find("exists; add --force to replace it"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadFileBytes(dir.File(L"Tolm.dat")), "old");

    const ToolRun forced = RunTool({L"scramble", dir.File(L"Tolmdat.xml"), dir.File(L"Tolm.dat"), L"--force"});
    EXPECT_EQ(forced.exitCode, 0u) << forced.err;
    EXPECT_EQ(ReadFileBytes(dir.File(L"Tolm.dat")).size(), kDocument.size());
    EXPECT_NE(ReadFileBytes(dir.File(L"Tolm.dat")), kDocument);
}

namespace {

struct InputFailureCase {
    const char* name;
    ULONGLONG size;  // of the input; 0: no input file at all
    DWORD exitCode;
    const char* message;
};

void PrintTo(const InputFailureCase& test, std::ostream* os)
{
    *os << test.name;
}

const InputFailureCase kInputFailureCases[] = {
    {"MissingInput", 0, ERROR_FILE_NOT_FOUND, "cannot read "},
    {"InputLargerThanASettingsFile", kMaxTolmDatSize + 1ULL, ERROR_FILE_TOO_LARGE,
     "more than a settings file may hold"},
};

class TolmDatToolInputFailure : public testing::TestWithParam<InputFailureCase> {};

} // namespace

TEST_P(TolmDatToolInputFailure, WritesNoOutput)
{
    const InputFailureCase& test = GetParam();
    TempDir dir;
    if (test.size > 0)
        WriteFileBytes(dir.File(L"in.xml"), std::string(static_cast<size_t>(test.size), ' '));

    const ToolRun run = RunTool({L"scramble", dir.File(L"in.xml"), dir.File(L"Tolm.dat")});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, test.exitCode);
    EXPECT_NE(run.err.find(test.message), std::string::npos) << run.err;
    EXPECT_FALSE(FileExists(dir.File(L"Tolm.dat")));
}

INSTANTIATE_TEST_SUITE_P(TolmDatTool, TolmDatToolInputFailure, testing::ValuesIn(kInputFailureCases),
                         [](const testing::TestParamInfo<InputFailureCase>& info) { return info.param.name; });

TEST(TolmDatTool, WrongArgumentsPrintTheUsage)
{
    const std::vector<std::vector<std::wstring>> cases = {
        {},
        {L"frobnicate", L"a", L"b"},
        {L"show"},
        {L"show", L"a", L"b"},
        {L"scramble", L"a"},
        {L"scramble", L"a", L"b", L"--frce"},
    };
    for (const auto& args : cases) {
        const ToolRun run = RunTool(args);
        EXPECT_EQ(run.exitCode, static_cast<DWORD>(ERROR_BAD_ARGUMENTS)) << args.size();
        EXPECT_NE(run.err.find("usage: tolmdat scramble"), std::string::npos) << run.err;
    }
}
