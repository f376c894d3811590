#include "TolmUpdaterExec.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

struct ArgumentCase {
    std::vector<std::wstring> args;  // element 0 is the program name
    BOOL clone;
    std::wstring url;
};

// Names the case by its command line in the test list.
void PrintTo(const ArgumentCase& c, std::ostream* out)
{
    for (const auto& arg : c.args)
        *out << '[' << std::string(arg.begin(), arg.end()) << ']';
}

class ParseArguments : public testing::TestWithParam<ArgumentCase> {};

} // namespace

TEST_P(ParseArguments, ReadsCloneSwitchAndLastArgument)
{
    const ArgumentCase& c = GetParam();
    std::vector<std::wstring> storage = c.args;
    std::vector<wchar_t*> argv;
    for (auto& arg : storage)
        argv.push_back(arg.data());

    CTolmUpdaterExecApp app;
    app.ParseArguments(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(app.m_bClone, c.clone);
    EXPECT_EQ(std::wstring(app.m_strUrl), c.url);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ParseArguments,
    testing::Values(
        // No argument: the program name is the last element and becomes the URL, without effect.
        ArgumentCase{{L"TolmUpdaterExec.exe"}, FALSE, L"TolmUpdaterExec.exe"},
        ArgumentCase{{L"prog", L"/Clone", L"http://h/u.exe"}, TRUE, L"http://h/u.exe"},
        ArgumentCase{{L"prog", L"http://h/u.exe", L"/Clone"}, TRUE, L""},
        ArgumentCase{{L"prog", L"/Clone"}, TRUE, L""},
        ArgumentCase{{L"prog", L"/Clone", L"ignored", L"http://h/last.exe"}, TRUE, L"http://h/last.exe"},
        ArgumentCase{{L"prog", L"/clone", L"http://h/u.exe"}, FALSE, L"http://h/u.exe"},
        ArgumentCase{{L"prog", L"-Clone", L"http://h/u.exe"}, FALSE, L"http://h/u.exe"},
        ArgumentCase{{L"prog", L"/CLONE"}, FALSE, L"/CLONE"},
        ArgumentCase{{L"prog", L"/Clone", L"/Clone", L"http://h/u.exe"}, TRUE, L"http://h/u.exe"},
        ArgumentCase{{L"prog", L"/Clone ", L"x"}, FALSE, L"x"}));
