// Reads the resources back from the built TolmUpdaterExec.exe, loaded as a data file, and checks
// them as Windows reads them: the dialog template, the string table, the icon, the version record
// and the manifest, each under its language.
#include "resource.h"
#include "ScopedHandle.h"
#include "String.h"
#include "TestPaths.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN);  // 1041
constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);     // 1033

struct Bytes {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

class ExeResources : public testing::Test {
protected:
    void SetUp() override
    {
        m_exe.Reset(::LoadLibraryExW(BinPath(L"TolmUpdaterExec.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(m_exe.IsValid()) << ::GetLastError();
    }

    HMODULE Exe() const { return m_exe.Get(); }

    // The resource of exactly this type, id and language; empty when there is none.
    Bytes Find(LPCWSTR type, WORD id, WORD language) const
    {
        HRSRC info = ::FindResourceExW(Exe(), type, MAKEINTRESOURCEW(id), language);
        if (info == nullptr)
            return {};
        HGLOBAL loaded = ::LoadResource(Exe(), info);
        return {static_cast<const BYTE*>(::LockResource(loaded)), ::SizeofResource(Exe(), info)};
    }

private:
    ScopedLibrary m_exe;
};

// Walks a resource's data the way its readers do: little-endian words and zero-terminated texts.
class Reader {
public:
    explicit Reader(Bytes bytes) : m_bytes(bytes) {}

    WORD Word()
    {
        WORD value = 0;
        Copy(&value, sizeof value);
        return value;
    }
    DWORD Dword()
    {
        DWORD value = 0;
        Copy(&value, sizeof value);
        return value;
    }
    std::vector<BYTE> Raw(DWORD size)
    {
        std::vector<BYTE> raw(size);
        Copy(raw.data(), size);
        return raw;
    }
    short Short() { return static_cast<short>(Word()); }
    std::wstring Text()
    {
        std::wstring text;
        for (WORD c = Word(); c != 0 && !m_overrun; c = Word())
            text.push_back(static_cast<wchar_t>(c));
        return text;
    }
    // A name-or-ordinal field: 0xFFFF then a number, or a text (empty for none).
    std::wstring TextOrOrdinal()
    {
        const DWORD start = m_offset;
        if (Word() == 0xFFFF)
            return L"#" + std::to_wstring(Word());
        m_offset = start;
        return Text();
    }
    void AlignDword() { m_offset = (m_offset + 3) & ~3u; }
    DWORD Offset() const { return m_offset; }
    void Seek(DWORD offset) { m_offset = offset; }
    bool Overrun() const { return m_overrun; }

private:
    void Copy(void* out, DWORD size)
    {
        if (m_offset + size > m_bytes.size) {
            m_overrun = true;
            return;
        }
        std::memcpy(out, m_bytes.data + m_offset, size);
        m_offset += size;
    }

    Bytes m_bytes;
    DWORD m_offset = 0;
    bool m_overrun = false;
};

std::wstring Key(LPCWSTR type, LPCWSTR name, WORD language)
{
    auto part = [](LPCWSTR value) {
        return IS_INTRESOURCE(value) ? std::to_wstring(reinterpret_cast<ULONG_PTR>(value)) : std::wstring(value);
    };
    return part(type) + L"/" + part(name) + L"/" + std::to_wstring(language);
}

} // namespace

TEST_F(ExeResources, EveryResourceIsJapaneseExceptTheEnglishManifest)
{
    std::set<std::wstring> found;
    struct Names {
        static BOOL CALLBACK Language(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR out)
        {
            reinterpret_cast<std::set<std::wstring>*>(out)->insert(Key(type, name, language));
            return TRUE;
        }
        static BOOL CALLBACK Name(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR out)
        {
            return ::EnumResourceLanguagesW(module, type, name, Language, out);
        }
        static BOOL CALLBACK Type(HMODULE module, LPWSTR type, LONG_PTR out)
        {
            return ::EnumResourceNamesW(module, type, Name, out);
        }
    };
    ASSERT_TRUE(::EnumResourceTypesW(Exe(), Names::Type, reinterpret_cast<LONG_PTR>(&found)));

    const std::set<std::wstring> expected = {
        L"3/1/1041", L"3/2/1041", L"3/3/1041", L"3/4/1041", L"3/5/1041", L"3/6/1041",  // icon images
        L"5/129/1041",                                                                  // dialog
        L"6/7/1041",                                                                    // strings 96..111
        L"14/128/1041",                                                                 // icon group
        L"16/1/1041",                                                                   // version
        L"24/1/1033",                                                                   // the only manifest
    };
    EXPECT_EQ(found, expected);
}

TEST_F(ExeResources, DownloadProgressDialogTemplate)
{
    Bytes bytes = Find(RT_DIALOG, IDD_DOWNLOAD_PROGRESS, kJapanese);
    ASSERT_NE(bytes.data, nullptr);
    Reader r(bytes);
    EXPECT_EQ(r.Word(), 1);       // extended template
    EXPECT_EQ(r.Word(), 0xFFFF);  // signature
    EXPECT_EQ(r.Dword(), 0u);     // help id
    EXPECT_EQ(r.Dword(), 0u);     // extended style
    EXPECT_EQ(r.Dword(), 0x80C800C8u);  // DS_SETFONT, DS_MODALFRAME, DS_FIXEDSYS, WS_POPUP, WS_CAPTION, WS_SYSMENU
    const WORD controls = r.Word();
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 256);
    EXPECT_EQ(r.Short(), 79);
    EXPECT_EQ(r.TextOrOrdinal(), L"");  // no menu
    EXPECT_EQ(r.TextOrOrdinal(), L"");  // the standard dialog class
    EXPECT_EQ(r.Text(), L"Dialog");
    EXPECT_EQ(r.Word(), 8);    // points
    EXPECT_EQ(r.Word(), 400);  // weight
    EXPECT_EQ(r.Word(), 0x0100);  // not italic, character set 1
    EXPECT_EQ(r.Text(), L"MS Shell Dlg");

    struct Control {
        DWORD id;
        const wchar_t* windowClass;
        const wchar_t* text;
        short x, y, cx, cy;
        DWORD style;
    };
    const Control expected[] = {
        {IDCANCEL, L"#128", L"\u30AD\u30E3\u30F3\u30BB\u30EB", 199, 58, 50, 14, 0x50010000},
        {IDC_DOWNLOAD_PROGRESS, L"msctls_progress32", L"", 7, 32, 242, 14, 0x50800000},
        {IDC_DOWNLOAD_MESSAGE, L"#130", L"\u30B9\u30BF\u30C6\u30A3\u30C3\u30AF", 7, 7, 242, 8, 0x50020000},
    };
    ASSERT_EQ(controls, std::size(expected));
    for (const Control& c : expected) {
        SCOPED_TRACE(c.id);
        r.AlignDword();
        EXPECT_EQ(r.Dword(), 0u);  // help id
        EXPECT_EQ(r.Dword(), 0u);  // extended style
        EXPECT_EQ(r.Dword(), c.style);
        EXPECT_EQ(r.Short(), c.x);
        EXPECT_EQ(r.Short(), c.y);
        EXPECT_EQ(r.Short(), c.cx);
        EXPECT_EQ(r.Short(), c.cy);
        EXPECT_EQ(r.Dword(), c.id);
        // Window classes are matched without regard to case, and the resource compiler stores a
        // class given by name in capitals.
        EXPECT_EQ(::CompareStringOrdinal(r.TextOrOrdinal().c_str(), -1, c.windowClass, -1, TRUE), CSTR_EQUAL);
        EXPECT_EQ(r.TextOrOrdinal(), c.text);
        EXPECT_EQ(r.Word(), 0);  // no creation data
    }
    EXPECT_FALSE(r.Overrun());
    EXPECT_EQ(r.Offset(), bytes.size);
}

TEST_F(ExeResources, JapaneseStringTable)
{
    struct Entry {
        UINT id;
        const wchar_t* text;
    };
    const Entry expected[] = {
        {IDS_APP_CAPTION, L"\u30B3\u30EB\u30F4\u30A1\u30F3 \u30A2\u30C3\u30D7\u30C7\u30FC\u30C8\u30C4\u30FC\u30EB"},
        {IDS_DOWNLOADING, L"\u30A2\u30C3\u30D7\u30C7\u30FC\u30BF\u3092\u30C0\u30A6\u30F3\u30ED\u30FC\u30C9"
                          L"\u3057\u3066\u3044\u307E\u3059"},
        {IDS_ERR_DOWNLOAD_FAILED, L"\u30A2\u30C3\u30D7\u30C7\u30FC\u30BF\u306E\u30C0\u30A6\u30F3\u30ED\u30FC"
                                  L"\u30C9\u306B\u5931\u6557\u3057\u307E\u3057\u305F\u3002(0x%08X)"},
        {IDS_ERR_LAUNCH_FAILED, L"\u30A2\u30C3\u30D7\u30C7\u30FC\u30BF\u306E\u8D77\u52D5\u306B\u5931\u6557"
                                L"\u3057\u307E\u3057\u305F\u3002(0x%08X)\n(%s)"},
        {IDS_DOWNLOAD_COMPLETE, L"\u30A2\u30C3\u30D7\u30C7\u30FC\u30BF\u306E\u30C0\u30A6\u30F3\u30ED\u30FC"
                                L"\u30C9\u304C\u5B8C\u4E86\u3057\u307E\u3057\u305F\u3002"},
    };

    // All five live in block 7 (ids 96 to 111); a block is 16 counted texts.
    Bytes block = Find(RT_STRING, IDS_APP_CAPTION / 16 + 1, kJapanese);
    ASSERT_NE(block.data, nullptr);
    Reader r(block);
    std::vector<std::wstring> texts;
    for (int i = 0; i < 16; ++i) {
        std::wstring text(r.Word(), L'\0');
        for (wchar_t& c : text)
            c = static_cast<wchar_t>(r.Word());
        texts.push_back(text);
    }
    EXPECT_FALSE(r.Overrun());
    for (UINT id = 96; id < 112; ++id) {
        auto entry = std::find_if(std::begin(expected), std::end(expected), [id](const Entry& e) { return e.id == id; });
        EXPECT_EQ(texts[id - 96], entry == std::end(expected) ? L"" : entry->text) << id;
    }

    // The framework's loader gives the same texts.
    for (const Entry& e : expected) {
        CString loaded;
        EXPECT_TRUE(loaded.LoadString(Exe(), e.id));
        EXPECT_EQ(std::wstring(loaded), e.text) << e.id;
    }
}

TEST_F(ExeResources, ErrorMessagesFormatWithCodeAndPath)
{
    CString format;
    ASSERT_TRUE(format.LoadString(Exe(), IDS_ERR_DOWNLOAD_FAILED));
    CString message;
    message.Format(format, 0x482u);
    EXPECT_EQ(std::wstring(message), L"\u30A2\u30C3\u30D7\u30C7\u30FC\u30BF\u306E\u30C0\u30A6\u30F3\u30ED\u30FC"
                                     L"\u30C9\u306B\u5931\u6557\u3057\u307E\u3057\u305F\u3002(0x00000482)");

    ASSERT_TRUE(format.LoadString(Exe(), IDS_ERR_LAUNCH_FAILED));
    message.Format(format, 0x800B0100u, L"C:\\Users\\\u30E6\u30FC\u30B6\\AppData\\Local\\Temp\\sak.exe");
    EXPECT_EQ(std::wstring(message), L"\u30A2\u30C3\u30D7\u30C7\u30FC\u30BF\u306E\u8D77\u52D5\u306B\u5931\u6557"
                                     L"\u3057\u307E\u3057\u305F\u3002(0x800B0100)\n"
                                     L"(C:\\Users\\\u30E6\u30FC\u30B6\\AppData\\Local\\Temp\\sak.exe)");
}

TEST_F(ExeResources, IconGroupHoldsSixDibImagesWithMasks)
{
    Bytes group = Find(RT_GROUP_ICON, IDI_APP_ICON, kJapanese);
    ASSERT_NE(group.data, nullptr);
    Reader r(group);
    EXPECT_EQ(r.Word(), 0);  // reserved
    EXPECT_EQ(r.Word(), 1);  // icons, not cursors
    struct Image {
        int size;
        WORD bits;
    };
    const Image expected[] = {{48, 4}, {32, 4}, {16, 4}, {48, 8}, {32, 8}, {16, 8}};
    ASSERT_EQ(r.Word(), std::size(expected));

    WORD nextId = 1;
    for (const Image& e : expected) {
        SCOPED_TRACE(testing::Message() << e.size << " px, " << e.bits << " bits");
        const WORD sizes = r.Word();
        EXPECT_EQ(LOBYTE(sizes), e.size);  // width
        EXPECT_EQ(HIBYTE(sizes), e.size);  // height
        EXPECT_EQ(r.Word(), e.bits == 4 ? 16 : 0);  // colour count, reserved
        EXPECT_EQ(r.Word(), 1);  // planes
        EXPECT_EQ(r.Word(), e.bits);
        const DWORD bytesInRes = r.Dword();
        const WORD id = r.Word();
        EXPECT_EQ(id, nextId++);

        Bytes image = Find(RT_ICON, id, kJapanese);
        ASSERT_NE(image.data, nullptr);
        EXPECT_EQ(image.size, bytesInRes);
        ASSERT_GE(image.size, sizeof(BITMAPINFOHEADER));
        EXPECT_NE(std::memcmp(image.data, "\x89PNG", 4), 0);
        BITMAPINFOHEADER header;
        std::memcpy(&header, image.data, sizeof header);
        EXPECT_EQ(header.biSize, sizeof(BITMAPINFOHEADER));
        EXPECT_EQ(header.biWidth, e.size);
        EXPECT_EQ(header.biHeight, 2 * e.size);  // colour bitmap and AND mask
        EXPECT_EQ(header.biPlanes, 1);
        EXPECT_EQ(header.biBitCount, e.bits);
        EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
        const DWORD colourStride = (e.size * e.bits + 31) / 32 * 4;
        const DWORD maskStride = (e.size + 31) / 32 * 4;
        const DWORD maskOffset = header.biSize + 4 * (1u << e.bits) + colourStride * e.size;
        ASSERT_EQ(image.size, maskOffset + maskStride * e.size);

        // The mask leaves the corners transparent and covers the middle, where arrow and globe meet.
        auto transparent = [&](int x, int y) {
            const BYTE* row = image.data + maskOffset + maskStride * (e.size - 1 - y);
            return (row[x / 8] & (0x80 >> (x % 8))) != 0;
        };
        EXPECT_TRUE(transparent(0, e.size - 1));
        EXPECT_TRUE(transparent(e.size - 1, e.size - 1));
        EXPECT_FALSE(transparent(e.size / 2, e.size / 2));

        HICON icon = ::CreateIconFromResourceEx(const_cast<BYTE*>(image.data), image.size, TRUE, 0x00030000,
                                                e.size, e.size, LR_DEFAULTCOLOR);
        EXPECT_NE(icon, nullptr);
        if (icon != nullptr)
            ::DestroyIcon(icon);
    }
    EXPECT_FALSE(r.Overrun());
    EXPECT_EQ(r.Offset(), group.size);
}

namespace {

// One node of a version record: key, text or binary value, children.
struct VersionNode {
    std::wstring key;
    WORD type = 0;
    std::vector<BYTE> value;
    std::vector<VersionNode> children;

    std::wstring Text() const
    {
        std::wstring text(reinterpret_cast<const wchar_t*>(value.data()), value.size() / sizeof(wchar_t));
        return text.substr(0, text.find(L'\0'));
    }
};

VersionNode ReadVersionNode(Reader& r, bool& ok)
{
    const DWORD start = r.Offset();
    VersionNode node;
    const WORD length = r.Word();
    const WORD valueLength = r.Word();
    node.type = r.Word();
    node.key = r.Text();
    r.AlignDword();
    // Text values count their length in characters, binary values in bytes.
    node.value = r.Raw(node.type == 1 ? valueLength * 2u : valueLength);
    r.AlignDword();
    while (ok && r.Offset() < start + length) {
        node.children.push_back(ReadVersionNode(r, ok));
        r.AlignDword();
    }
    ok = ok && !r.Overrun() && r.Offset() >= start + length;
    r.Seek(start + length);
    return node;
}

} // namespace

TEST_F(ExeResources, VersionRecord)
{
    Bytes bytes = Find(RT_VERSION, 1, kJapanese);
    ASSERT_NE(bytes.data, nullptr);
    Reader r(bytes);
    bool ok = true;
    const VersionNode root = ReadVersionNode(r, ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(root.key, L"VS_VERSION_INFO");

    ASSERT_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, root.value.data(), sizeof fixed);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.dwFileVersionMS, MAKELONG(0, 1));
    EXPECT_EQ(fixed.dwFileVersionLS, MAKELONG(7, 0));
    EXPECT_EQ(fixed.dwProductVersionMS, MAKELONG(0, 1));
    EXPECT_EQ(fixed.dwProductVersionLS, 0u);
    EXPECT_EQ(fixed.dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed.dwFileFlags, 0u);
    EXPECT_EQ(fixed.dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed.dwFileSubtype, 0u);
    EXPECT_EQ(fixed.dwFileDateMS, 0u);
    EXPECT_EQ(fixed.dwFileDateLS, 0u);

    ASSERT_EQ(root.children.size(), 2u);
    const VersionNode& strings = root.children[0];
    EXPECT_EQ(strings.key, L"StringFileInfo");
    ASSERT_EQ(strings.children.size(), 1u);
    EXPECT_EQ(strings.children[0].key, L"041103a4");
    std::vector<std::pair<std::wstring, std::wstring>> values;
    for (const VersionNode& value : strings.children[0].children)
        values.emplace_back(value.key, value.Text());
    const std::vector<std::pair<std::wstring, std::wstring>> expected = {
        {L"CompanyName", L"Korvane Co., Ltd."},
        {L"FileVersion", L"1, 0, 0, 7"},
        {L"InternalName", L"TolmUpdaterExec.exe"},
        {L"OriginalFilename", L"TolmUpdaterExec.exe"},
        {L"ProductVersion", L"1, 0, 0, 0"},
    };
    EXPECT_EQ(values, expected);

    const VersionNode& variables = root.children[1];
    EXPECT_EQ(variables.key, L"VarFileInfo");
    ASSERT_EQ(variables.children.size(), 1u);
    EXPECT_EQ(variables.children[0].key, L"Translation");
    EXPECT_EQ(variables.children[0].value, (std::vector<BYTE>{0x11, 0x04, 0xA4, 0x03}));  // 0x0411, 932
}

TEST_F(ExeResources, ShellReadsTheVersionStrings)
{
    const std::wstring exe = BinPath(L"TolmUpdaterExec.exe");
    DWORD ignored = 0;
    std::vector<BYTE> info(::GetFileVersionInfoSizeW(exe.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(::GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\StringFileInfo\\041103a4\\CompanyName", &value, &length));
    EXPECT_STREQ(static_cast<const wchar_t*>(value), L"Korvane Co., Ltd.");
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\StringFileInfo\\041103a4\\FileVersion", &value, &length));
    EXPECT_STREQ(static_cast<const wchar_t*>(value), L"1, 0, 0, 7");
}

TEST_F(ExeResources, ManifestText)
{
    Bytes bytes = Find(RT_MANIFEST, 1, kEnglishUs);
    ASSERT_NE(bytes.data, nullptr);
    const std::string text(reinterpret_cast<const char*>(bytes.data), bytes.size);
    // No byte-order mark and no XML declaration: the text starts with the root element.
    const std::string expected =
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
        "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n"
        "    <security>\n"
        "      <requestedPrivileges>\n"
        "        <requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>\n"
        "      </requestedPrivileges>\n"
        "    </security>\n"
        "  </trustInfo>\n"
        "  <dependency>\n"
        "    <dependentAssembly>\n"
        "      <assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" "
        "processorArchitecture=\"x86\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>\n"
        "    </dependentAssembly>\n"
        "  </dependency>\n"
        "</assembly>\n";
    EXPECT_EQ(text, expected);
}

namespace {

struct ActCtxTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::ReleaseActCtx(h); }
};

struct ActCtxCookieTraits {
    using Type = ULONG_PTR;
    static Type Invalid() { return 0; }
    static void Close(Type cookie) { ::DeactivateActCtx(0, cookie); }
};

} // namespace

TEST(ExeManifest, BringsVersionSixOfTheCommonControls)
{
    const std::wstring exe = BinPath(L"TolmUpdaterExec.exe");
    ACTCTXW request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = exe.c_str();
    request.lpResourceName = MAKEINTRESOURCEW(1);
    ScopedResource<ActCtxTraits> context(::CreateActCtxW(&request));
    ASSERT_TRUE(context.IsValid()) << ::GetLastError();
    ScopedResource<ActCtxCookieTraits> active;
    ASSERT_TRUE(::ActivateActCtx(context.Get(), active.Receive()));

    // The loader takes the library from the side-by-side assembly the manifest names. (Wine's
    // copy there reports version 5.81 through DllGetVersion, so its place is what tells.)
    ScopedLibrary comctl32(::LoadLibraryW(L"comctl32.dll"));
    ASSERT_TRUE(comctl32.IsValid());
    wchar_t path[MAX_PATH] = {};
    ASSERT_NE(::GetModuleFileNameW(comctl32.Get(), path, MAX_PATH), 0u);
    std::wstring lower(path);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    EXPECT_NE(lower.find(L"\\winsxs\\x86_microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::wstring::npos)
        << path;
}
