// CTolmDat::Load as the program calls it: for a real module whose file lies beside the settings files,
// on a thread with COM initialised apartment-threaded, with the trace lines read back from KVLog's file.
#include "TolmDat.h"

#include "ComSupport.h"
#include "LogFile.h"
#include "ScopedHandle.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Files = std::vector<std::pair<std::wstring, std::string>>;

std::string Scrambled(std::string bytes)
{
    auto* data = reinterpret_cast<BYTE*>(bytes.data());
    CTolmDat::Descramble(data, static_cast<DWORD>(bytes.size()), data);
    return bytes;
}

const std::string kFullDocument =
    "<?xml version=\"1.0\"?>\r\n"
    "<root>\r\n"
    "  <EntryInfo>C:\\Tolm\\Entry</EntryInfo>\r\n"
    "  <UpdateTemp>C:\\Tolm\\Update</UpdateTemp>\r\n"
    "  <OrbWorkTemp>C:\\Tolm\\Orb</OrbWorkTemp>\r\n"
    "  <UpdateServerUrl>https://update.example/tolm/</UpdateServerUrl>\r\n"
    "  <AppID>TOLM-0001</AppID>\r\n"
    "  <CookieUrl>https://cookie.example/</CookieUrl>\r\n"
    "</root>\r\n";

// The six fields in record order.
using Fields = std::vector<std::wstring>;

const Fields kFullFields = {L"C:\\Tolm\\Entry",  L"C:\\Tolm\\Update", L"C:\\Tolm\\Orb",
                            L"https://update.example/tolm/", L"TOLM-0001", L"https://cookie.example/"};
const Fields kEmptyFields(6);

Fields FieldsOf(const TolmDatInfo& info)
{
    return {info.EntryInfo.GetString(),       info.UpdateTemp.GetString(), info.OrbWorkTemp.GetString(),
            info.UpdateServerUrl.GetString(), info.AppID.GetString(),      info.CookieUrl.GetString()};
}

std::wstring TempPath()
{
    wchar_t buffer[MAX_PATH];
    const DWORD length = ::GetTempPathW(MAX_PATH, buffer);
    return std::wstring(buffer, length);
}

// Through the known-folder interface, so the expectation does not come from the call under test.
std::wstring KnownFolder(REFKNOWNFOLDERID id)
{
    wchar_t* path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path)))
        folder = path;
    ::CoTaskMemFree(path);
    return folder;
}

// Expectations name the machine's folders by token.
std::wstring Resolve(std::wstring text, const std::wstring& dir)
{
    const std::pair<std::wstring, std::wstring> tokens[] = {
        {L"<TEMP>", TempPath()},
        {L"<ROAMING>", KnownFolder(FOLDERID_RoamingAppData)},
        {L"<LOCAL>", KnownFolder(FOLDERID_LocalAppData)},
        {L"<DEFAULT>", kDefaultCookieUrl},
        {L"<DIR>", dir},
    };
    for (const auto& [token, value] : tokens)
        for (auto pos = text.find(token); pos != std::wstring::npos; pos = text.find(token, pos + value.size()))
            text.replace(pos, token.size(), value);
    return text;
}

std::vector<std::wstring> Resolve(std::vector<std::wstring> texts, const std::wstring& dir)
{
    for (auto& text : texts)
        text = Resolve(text, dir);
    return texts;
}

std::vector<std::wstring> Framed(std::vector<std::wstring> lines, DWORD result)
{
    wchar_t end[64];
    swprintf(end, 64, L"END CTolmDat::Load: 0x%08X", static_cast<unsigned>(result));
    lines.insert(lines.begin(), L"START CTolmDat::Load");
    lines.push_back(end);
    return lines;
}

// A copy of the probe module in |dir|, loaded from there.
ScopedLibrary LoadProbeModule(const std::wstring& dir)
{
    const std::wstring path = dir + L"\\p.dll";
    if (!CopyFileTo(BinDir() + L"\\settings-probe\\p.dll", path))
        return ScopedLibrary();
    return ScopedLibrary(::LoadLibraryW(path.c_str()));
}

struct LoadOutcome {
    DWORD result = 0;
    Fields fields;
    std::vector<std::wstring> messages;
};

LoadOutcome LoadAsTheProgramDoes(HMODULE module)
{
    ScopedLogFile log;
    LoadOutcome outcome;
    TolmDatInfo info;
    {
        ScopedCoInitialize com(COINIT_APARTMENTTHREADED);
        outcome.result = CTolmDat::Load(module, info);
    }
    outcome.fields = FieldsOf(info);
    outcome.messages = log.Messages();
    return outcome;
}

// The thread's locale selects the code page that CP_THREAD_ACP decodes with.
class ScopedThreadLocale {
public:
    explicit ScopedThreadLocale(LANGID language)
        : m_previous(::GetThreadLocale())
    {
        ::SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
    }
    ~ScopedThreadLocale() { ::SetThreadLocale(m_previous); }

private:
    LCID m_previous;
};

const LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);   // code page 1252
const LANGID kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN);  // code page 932

struct DocumentCase {
    const char* name;
    Files files;
    DWORD result;
    Fields fields;
    std::vector<std::wstring> lines;  // between START and END
};

void PrintTo(const DocumentCase& test, std::ostream* os)
{
    *os << test.name;
}

const std::wstring kXml = L"Tolmdat.xml";
const std::wstring kDat = L"Tolm.dat";

const std::vector<std::wstring> kThreeFailedParses = {L"Failed Parse <EntryInfo>", L"Failed Parse <UpdateServerUrl>",
                                                      L"Failed Parse <AppID>", L"CookieUrl: <DEFAULT>"};
const Fields kDefaultsOnly = {L"", L"<TEMP>", L"<TEMP>", L"", L"", L"<DEFAULT>"};

const DocumentCase kDocumentCases[] = {
    {"OnlyTheScrambledFile", {{kDat, Scrambled(kFullDocument)}}, 0, kFullFields,
     {L"CookieUrl: https://cookie.example/"}},
    {"OnlyThePlainFile", {{kXml, kFullDocument}}, 0, kFullFields, {L"CookieUrl: https://cookie.example/"}},
    {"ThePlainFileWins",
     {{kXml, "<root><AppID>plain</AppID></root>"}, {kDat, Scrambled("<root><AppID>scrambled</AppID></root>")}}, 0,
     {L"", L"<TEMP>", L"<TEMP>", L"", L"plain", L"<DEFAULT>"},
     {L"Failed Parse <EntryInfo>", L"Failed Parse <UpdateServerUrl>", L"CookieUrl: <DEFAULT>"}},
    {"AnIllFormedPlainFileDoesNotFallBack",
     {{kXml, "<root><AppID>plain</root>"}, {kDat, Scrambled(kFullDocument)}}, ERROR_XML_PARSE_ERROR, kEmptyFields,
     {L"Failed File Load"}},
    {"NeitherFile", {}, ERROR_FILE_NOT_FOUND, kEmptyFields, {L"File Not Found: <DIR>\\Tolm.dat"}},
    {"APlainDocumentUnderTheScrambledName", {{kDat, kFullDocument}}, ERROR_XML_PARSE_ERROR, kEmptyFields,
     {L"Failed File Load"}},
    {"AScrambledDocumentUnderThePlainName", {{kXml, Scrambled(kFullDocument)}}, ERROR_XML_PARSE_ERROR, kEmptyFields,
     {L"Failed File Load"}},
    {"AnEmptyPlainFile", {{kXml, ""}}, ERROR_XML_PARSE_ERROR, kEmptyFields, {L"Failed File Load"}},
    {"AnEmptyScrambledFile", {{kDat, ""}}, ERROR_XML_PARSE_ERROR, kEmptyFields, {L"Failed File Load"}},
    {"AnotherDocumentElement",
     {{kXml, "<config><EntryInfo>e</EntryInfo><UpdateTemp>u</UpdateTemp><OrbWorkTemp>o</OrbWorkTemp>"
             "<UpdateServerUrl>s</UpdateServerUrl><AppID>a</AppID><CookieUrl>c</CookieUrl></config>"}},
     0, kDefaultsOnly, kThreeFailedParses},
    {"ElementsOneLevelDeeper",
     {{kXml, "<root><group><EntryInfo>e</EntryInfo><UpdateTemp>u</UpdateTemp><OrbWorkTemp>o</OrbWorkTemp>"
             "<UpdateServerUrl>s</UpdateServerUrl><AppID>a</AppID><CookieUrl>c</CookieUrl></group></root>"}},
     0, kDefaultsOnly, kThreeFailedParses},
    {"CookieUrlAbsentTakesTheDefault",
     {{kXml, "<root><EntryInfo>e</EntryInfo><UpdateServerUrl>s</UpdateServerUrl><AppID>a</AppID></root>"}}, 0,
     {L"e", L"<TEMP>", L"<TEMP>", L"s", L"a", L"<DEFAULT>"}, {L"CookieUrl: <DEFAULT>"}},
    {"EveryElementPresentAndEmpty",
     {{kXml, "<root><EntryInfo/><UpdateTemp></UpdateTemp><OrbWorkTemp/><UpdateServerUrl/><AppID/><CookieUrl/>"
             "</root>"}},
     0, {L"", L"<TEMP>", L"<TEMP>", L"", L"", L""}, {L"CookieUrl: "}},
    {"NamesMatchInTheirCaseAndTheFirstOccurrenceCounts",
     {{kXml, "<root><entryinfo>lower</entryinfo><AppID>first</AppID><AppID>second</AppID>"
             "<UpdateServerUrl>s</UpdateServerUrl><CookieUrl>c1</CookieUrl><CookieUrl>c2</CookieUrl></root>"}},
     0, {L"", L"<TEMP>", L"<TEMP>", L"s", L"first", L"c1"}, {L"Failed Parse <EntryInfo>", L"CookieUrl: c1"}},
    {"TheTextEndsAtTheFirstZeroByte",
     {{kXml, std::string("<root><AppID>a</AppID><EntryInfo>e</EntryInfo><UpdateServerUrl>s</UpdateServerUrl>"
                         "<CookieUrl>c</CookieUrl></root>") + '\0' + "<garbage"}},
     0, {L"e", L"<TEMP>", L"<TEMP>", L"s", L"a", L"c"}, {L"CookieUrl: c"}},
    {"Placeholders",
     {{kXml, "<root>"
             "<EntryInfo>{CSIDL_APPDATA};{CSIDL_LOCAL_APPDATA};{CSIDL_APPDATA}</EntryInfo>"
             "<UpdateTemp>{CSIDL_LOCAL_APPDATA}\\TolmSettingsTest</UpdateTemp>"
             "<OrbWorkTemp>{csidl_appdata}\\Orb</OrbWorkTemp>"
             "<UpdateServerUrl>{CSIDL_APPDATA}</UpdateServerUrl>"
             "<AppID>{CSIDL_LOCAL_APPDATA}</AppID>"
             "<CookieUrl>{CSIDL_APPDATA}</CookieUrl>"
             "</root>"}},
     0,
     {L"<ROAMING>;<LOCAL>;<ROAMING>", L"<LOCAL>\\TolmSettingsTest", L"{csidl_appdata}\\Orb", L"{CSIDL_APPDATA}",
      L"{CSIDL_LOCAL_APPDATA}", L"{CSIDL_APPDATA}"},
     {L"CookieUrl: {CSIDL_APPDATA}"}},
};

class LoadDocument : public testing::TestWithParam<DocumentCase> {};

} // namespace

TEST_P(LoadDocument, FillsTheRecordAndTraces)
{
    const DocumentCase& test = GetParam();
    TempDir dir;
    for (const auto& [name, bytes] : test.files)
        WriteFileBytes(dir.File(name), bytes);
    ScopedLibrary module = LoadProbeModule(dir.Path());
    ASSERT_TRUE(module);

    const LoadOutcome outcome = LoadAsTheProgramDoes(module.Get());
    EXPECT_EQ(outcome.result, test.result);
    EXPECT_EQ(outcome.fields, Resolve(test.fields, dir.Path()));
    EXPECT_EQ(outcome.messages, Framed(Resolve(test.lines, dir.Path()), test.result));
}

INSTANTIATE_TEST_SUITE_P(TolmDat, LoadDocument, testing::ValuesIn(kDocumentCases),
                         [](const testing::TestParamInfo<DocumentCase>& info) { return info.param.name; });

TEST(TolmDat, APlaceholderDirectoryIsNotCreated)
{
    const std::wstring subdirectory = KnownFolder(FOLDERID_LocalAppData) + L"\\TolmSettingsTest";
    TempDir dir;
    WriteFileBytes(dir.File(kXml), "<root><UpdateTemp>{CSIDL_LOCAL_APPDATA}\\TolmSettingsTest</UpdateTemp></root>");
    ScopedLibrary module = LoadProbeModule(dir.Path());
    ASSERT_TRUE(module);

    const LoadOutcome outcome = LoadAsTheProgramDoes(module.Get());
    EXPECT_EQ(outcome.result, 0u);
    EXPECT_EQ(outcome.fields[1], subdirectory);
    EXPECT_FALSE(FileExists(subdirectory));
}

namespace {

struct EncodingCase {
    const char* name;
    LANGID language;
    std::string appId;  // the bytes of the AppID element's text
    std::string prefix;  // bytes in front of the document
    DWORD result;
    std::wstring expected;
};

void PrintTo(const EncodingCase& test, std::ostream* os)
{
    *os << test.name;
}

const EncodingCase kEncodingCases[] = {
    {"Utf8ReadInCodePage1252", kEnglish, "\xC3\xA9", "", 0, L"\u00C3\u00A9"},
    {"Utf8ReadInCodePage932", kJapanese, "\xC3\xA9", "", 0, L"\uFF83\uFF69"},
    {"CodePage932ReadInCodePage932", kJapanese, "\x93\xFA\x96\x7B", "", 0, L"\u65E5\u672C"},
    {"TheDeclaredEncodingPlaysNoPart", kEnglish, "\xC3\xA9", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0,
     L"\u00C3\u00A9"},
    {"ByteOrderMarkInCodePage1252", kEnglish, "a", "\xEF\xBB\xBF", ERROR_XML_PARSE_ERROR, L""},
    {"ByteOrderMarkInCodePage932", kJapanese, "a", "\xEF\xBB\xBF", ERROR_XML_PARSE_ERROR, L""},
};

class LoadEncoding : public testing::TestWithParam<EncodingCase> {};

} // namespace

TEST_P(LoadEncoding, DecodesInTheThreadsAnsiCodePage)
{
    const EncodingCase& test = GetParam();
    TempDir dir;
    WriteFileBytes(dir.File(kXml), test.prefix + "<root><AppID>" + test.appId + "</AppID></root>");
    ScopedLibrary module = LoadProbeModule(dir.Path());
    ASSERT_TRUE(module);

    ScopedThreadLocale locale(test.language);
    const LoadOutcome outcome = LoadAsTheProgramDoes(module.Get());
    EXPECT_EQ(outcome.result, test.result);
    EXPECT_EQ(outcome.fields[4], test.expected);
}

INSTANTIATE_TEST_SUITE_P(TolmDat, LoadEncoding, testing::ValuesIn(kEncodingCases),
                         [](const testing::TestParamInfo<EncodingCase>& info) { return info.param.name; });

TEST(TolmDat, WithoutComTheDocumentDoesNotLoad)
{
    TempDir dir;
    WriteFileBytes(dir.File(kXml), kFullDocument);
    ScopedLibrary module = LoadProbeModule(dir.Path());
    ASSERT_TRUE(module);

    ScopedLogFile log;
    DWORD result = 0;
    TolmDatInfo info;
    // A thread of its own, which has never joined an apartment.
    std::thread([&] { result = CTolmDat::Load(module.Get(), info); }).join();
    EXPECT_EQ(result, static_cast<DWORD>(ERROR_XML_PARSE_ERROR));
    EXPECT_EQ(FieldsOf(info), kEmptyFields);
    EXPECT_EQ(log.Messages(), Framed({L"Failed File Load"}, ERROR_XML_PARSE_ERROR));
}

TEST(TolmDat, APlainFileThatDoesNotOpenIsALoadFailure)
{
    TempDir dir;
    const std::wstring path = dir.File(kXml);
    WriteFileBytes(path, kFullDocument);
    WriteFileBytes(dir.File(kDat), Scrambled(kFullDocument));
    ScopedLibrary module = LoadProbeModule(dir.Path());
    ASSERT_TRUE(module);
    ScopedFileHandle holder(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);

    const LoadOutcome outcome = LoadAsTheProgramDoes(module.Get());
    EXPECT_EQ(outcome.result, static_cast<DWORD>(ERROR_XML_PARSE_ERROR));
    EXPECT_EQ(outcome.fields, kEmptyFields);
    EXPECT_EQ(outcome.messages, Framed({L"Failed File Open: " + path, L"Failed File Load"}, ERROR_XML_PARSE_ERROR));
}

TEST(TolmDat, AModuleWhosePathCannotBeReadFailsAtTheFirstPath)
{
    TempDir dir;
    HMODULE unloaded = nullptr;
    {
        ScopedLibrary module = LoadProbeModule(dir.Path());
        ASSERT_TRUE(module);
        unloaded = module.Get();
    }

    const LoadOutcome outcome = LoadAsTheProgramDoes(unloaded);
    EXPECT_EQ(outcome.result, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(outcome.messages, Framed({L"Failed Get File Path(DAT)"}, ERROR_MOD_NOT_FOUND));
}

namespace {

struct LongPathCase {
    const char* name;
    size_t directoryLength;  // characters of the module's directory; the module is "p.dll"
    DWORD result;
    std::wstring line;
};

void PrintTo(const LongPathCase& test, std::ostream* os)
{
    *os << test.name;
}

const LongPathCase kLongPathCases[] = {
    {"BothPathsFit", 247, 0, L"CookieUrl: https://cookie.example/"},
    {"ThePlainPathDoesNotFit", 248, ERROR_FILENAME_EXCED_RANGE, L"Failed Get File Path(XML)"},
    {"OnlyTheScrambledPathFits", 250, ERROR_FILENAME_EXCED_RANGE, L"Failed Get File Path(XML)"},
    {"TheScrambledPathDoesNotFit", 251, ERROR_FILENAME_EXCED_RANGE, L"Failed Get File Path(DAT)"},
    // Cut to MAX_PATH, the module's path would end inside its directory's name and name the parent.
    {"TheModulePathDoesNotFit", 262, ERROR_FILENAME_EXCED_RANGE, L"Failed Get File Path(DAT)"},
};

class LoadLongPath : public testing::TestWithParam<LongPathCase> {};

} // namespace

TEST_P(LoadLongPath, IsRefusedRatherThanCut)
{
    const LongPathCase& test = GetParam();
    TempDir parent;
    WriteFileBytes(parent.File(kXml), "<root><AppID>parent</AppID></root>");
    const std::wstring dir = parent.Path() + L"\\" + std::wstring(test.directoryLength - parent.Path().size() - 1, L'd');
    ASSERT_EQ(dir.size(), test.directoryLength);
    ASSERT_TRUE(::CreateDirectoryW(dir.c_str(), nullptr));
    if (dir.size() + 1 + kXml.size() < MAX_PATH)
        WriteFileBytes(dir + L"\\" + kXml, kFullDocument);
    ScopedLibrary module = LoadProbeModule(dir);
    ASSERT_TRUE(module);

    const LoadOutcome outcome = LoadAsTheProgramDoes(module.Get());
    EXPECT_EQ(outcome.result, test.result);
    EXPECT_EQ(outcome.fields, test.result == 0 ? kFullFields : kEmptyFields);
    EXPECT_EQ(outcome.messages, Framed({test.line}, test.result));
    module.Reset();
    ::DeleteFileW((dir + L"\\p.dll").c_str());
    ::DeleteFileW((dir + L"\\" + kXml).c_str());
    ::RemoveDirectoryW(dir.c_str());
}

INSTANTIATE_TEST_SUITE_P(TolmDat, LoadLongPath, testing::ValuesIn(kLongPathCases),
                         [](const testing::TestParamInfo<LongPathCase>& info) { return info.param.name; });

namespace {

struct SizeCase {
    const char* name;
    ULONGLONG size;
    DWORD result;
};

void PrintTo(const SizeCase& test, std::ostream* os)
{
    *os << test.name;
}

// The file holds a complete document in its first bytes, then zero bytes up to its size.
const SizeCase kSizeCases[] = {
    {"AtTheLimit", kMaxTolmDatSize, 0},
    {"OneByteOverTheLimit", kMaxTolmDatSize + 1ULL, ERROR_XML_PARSE_ERROR},
    // Taken as a 32-bit count and plus one, this size would become a buffer of no bytes at all.
    {"FourGiBLessOneByte", 0xFFFFFFFFULL, ERROR_XML_PARSE_ERROR},
    // Its low 32 bits would count only the document in front.
    {"FourGiBAndTheDocument", 0x100000000ULL + kFullDocument.size(), ERROR_XML_PARSE_ERROR},
};

class LoadSize : public testing::TestWithParam<SizeCase> {};

} // namespace

TEST_P(LoadSize, AnOversizedFileIsRefusedUnread)
{
    const SizeCase& test = GetParam();
    TempDir dir;
    const std::wstring path = dir.File(kXml);
    WriteFileBytes(path, kFullDocument);
    {
        // Sparse: the end is set, not written.
        ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file);
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(test.size);
        ASSERT_TRUE(::SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(::SetEndOfFile(file.Get()));
    }
    ScopedLibrary module = LoadProbeModule(dir.Path());
    ASSERT_TRUE(module);

    const LoadOutcome outcome = LoadAsTheProgramDoes(module.Get());
    EXPECT_EQ(outcome.result, test.result);
    EXPECT_EQ(outcome.fields, test.result == 0 ? kFullFields : kEmptyFields);
    EXPECT_EQ(outcome.messages, Framed({test.result == 0 ? L"CookieUrl: https://cookie.example/" : L"Failed File Load"},
                                       test.result));
}

INSTANTIATE_TEST_SUITE_P(TolmDat, LoadSize, testing::ValuesIn(kSizeCases),
                         [](const testing::TestParamInfo<SizeCase>& info) { return info.param.name; });

TEST(TolmDat, DescrambleRestartsTheKeyEveryTenBytes)
{
    const std::string source = std::string("KAVERLIMOBKAVERLIMOB") + std::string(13, '\0');
    std::string destination(source.size(), 'x');
    CTolmDat::Descramble(reinterpret_cast<BYTE*>(destination.data()), static_cast<DWORD>(source.size()),
                         reinterpret_cast<const BYTE*>(source.data()));
    EXPECT_EQ(destination, std::string(20, '\0') + "KAVERLIMOBKAV");
}

TEST(TolmDat, DescrambleIsItsOwnInverseForAnyBytes)
{
    for (size_t length : {0u, 1u, 9u, 10u, 11u, 1000u}) {
        std::string bytes(length, '\0');
        for (size_t i = 0; i < length; ++i)
            bytes[i] = static_cast<char>((i * 37 + 11) % 256);
        EXPECT_EQ(Scrambled(Scrambled(bytes)), bytes) << length;
        if (length > 0) {
            EXPECT_NE(Scrambled(bytes), bytes) << length;
        }
    }
}
