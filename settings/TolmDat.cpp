#include "TolmDat.h"

#include "ComSupport.h"
#include "File.h"
#include "TraceLog.h"

#include <msxml.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <exception>
#include <new>
#include <vector>

const wchar_t kTolmDatFileName[] = L"Tolm.dat";
const wchar_t kTolmDatXmlFileName[] = L"Tolmdat.xml";
const wchar_t kDefaultCookieUrl[] = L"https://www.korvane.co.jp/";

namespace {

// Spelled out here: the two MSXML headers of mingw-w64 disagree on which class CLSID_DOMDocument names.
const CLSID kClsidDOMDocument = {0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};
const IID kIidIXMLDOMDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

const BYTE kScrambleKey[] = {'K', 'A', 'V', 'E', 'R', 'L', 'I', 'M', 'O', 'B'};

// The document's bytes, descrambled for a ".dat" path, always followed by a zero byte. A file that does not
// open or read gives no bytes at all.
std::vector<BYTE> ReadDocumentBytes(const wchar_t* path, UINT size)
{
    std::vector<BYTE> text(size + 1, 0);
    std::vector<BYTE> raw(size + 1, 0);
    try {
        CFile file;
        if (file.Open(path, CFile::modeRead | CFile::shareDenyNone)) {
            // A short read leaves the rest zero, which ends the text there.
            file.Read(raw.data(), size);
            file.Close();
        } else {
            TRACE_LOG(L"Failed File Open: %s", path);
        }
        if (_wcsicmp(::PathFindExtensionW(path), L".dat") == 0)
            CTolmDat::Descramble(text.data(), size, raw.data());
        else
            std::memcpy(text.data(), raw.data(), raw.size());
    } catch (const std::exception&) {
        TRACE_LOG(L"%s", L"Occur Exception");
    }
    return text;
}

// Decodes up to the first zero byte in the thread's ANSI code page; bytes that do not decode are replaced.
CString DecodeAnsi(const BYTE* bytes)
{
    const char* text = reinterpret_cast<const char*>(bytes);
    const int length = ::MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, nullptr, 0);
    CString wide;
    if (length > 1) {
        ::MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, wide.GetBuffer(length), length);
        wide.ReleaseBuffer();
    }
    return wide;
}

// Leaves |document| empty when the component cannot be created; loading into it then fails.
void CreateDocument(ComPtr<IXMLDOMDocument>& document)
{
    ComPtr<IUnknown> unknown;
    if (FAILED(::CoCreateInstance(kClsidDOMDocument, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.ReceiveVoid())))
        return;
    ::OleRun(unknown.Get());
    unknown->QueryInterface(kIidIXMLDOMDocument, document.ReceiveVoid());
}

// The user's temporary directory with its trailing backslash; empty when the query fails.
CString TempDirectory()
{
    wchar_t buffer[MAX_PATH] = L"";
    const DWORD length = ::GetTempPathW(MAX_PATH, buffer);
    if (length == 0 || length >= MAX_PATH)
        return CString();
    return CString(buffer, static_cast<int>(length));
}

// A directory field: the temporary directory when the element's text is empty or unreadable.
void ReadDirectoryField(IXMLDOMDocument* document, const wchar_t* path, const CString& tempDirectory,
                        CString& field)
{
    SelectNodeText(document, path, field);
    field = field.IsEmpty() ? tempDirectory : ExpandFolderPlaceholders(field);
}

void ReadFields(IXMLDOMDocument* document, TolmDatInfo& info)
{
    const CString tempDirectory = TempDirectory();

    if (SelectNodeText(document, L"/root/EntryInfo", info.EntryInfo) != S_OK)
        TRACE_LOG(L"%s", L"Failed Parse <EntryInfo>");
    info.EntryInfo = ExpandFolderPlaceholders(info.EntryInfo);

    ReadDirectoryField(document, L"/root/UpdateTemp", tempDirectory, info.UpdateTemp);
    ReadDirectoryField(document, L"/root/OrbWorkTemp", tempDirectory, info.OrbWorkTemp);

    if (SelectNodeText(document, L"/root/UpdateServerUrl", info.UpdateServerUrl) != S_OK)
        TRACE_LOG(L"%s", L"Failed Parse <UpdateServerUrl>");
    if (SelectNodeText(document, L"/root/AppID", info.AppID) != S_OK)
        TRACE_LOG(L"%s", L"Failed Parse <AppID>");

    // An empty CookieUrl element is a value of its own: only a missing one takes the default.
    const HRESULT cookie = SelectNodeText(document, L"/root/CookieUrl", info.CookieUrl);
    if (FAILED(cookie))
        TRACE_LOG(L"Failed Parse <CookieUrl>:0x%08X", static_cast<DWORD>(cookie));
    else if (cookie == S_FALSE)
        info.CookieUrl = kDefaultCookieUrl;
    TRACE_LOG(L"CookieUrl: %s", info.CookieUrl.GetString());
}

} // namespace

DWORD CTolmDat::Load(HMODULE module, TolmDatInfo& info)
{
    TRACE_LOG(L"%s", L"START CTolmDat::Load");
    CString datPath;
    CString xmlPath;
    DWORD result = GetModuleSiblingPath(module, kTolmDatFileName, datPath);
    if (result != ERROR_SUCCESS)
        TRACE_LOG(L"%s", L"Failed Get File Path(DAT)");
    else if ((result = GetModuleSiblingPath(module, kTolmDatXmlFileName, xmlPath)) != ERROR_SUCCESS)
        TRACE_LOG(L"%s", L"Failed Get File Path(XML)");
    else
        result = LoadPlainOrScrambled(datPath, xmlPath, info);
    TRACE_LOG(L"END CTolmDat::Load: 0x%08X", result);
    return result;
}

DWORD CTolmDat::LoadFile(const wchar_t* path, TolmDatInfo& info)
{
    if (!::PathFileExistsW(path)) {
        TRACE_LOG(L"File Not Found: %s", path);
        return ERROR_FILE_NOT_FOUND;
    }

    CFileStatus status;
    if (!CFile::GetStatus(path, status)) {
        const DWORD error = ::GetLastError();
        TRACE_LOG(L"%s", L"Failed Get File Status");
        return error;
    }
    // Checked before any allocation: a size near 4 GiB would wrap the buffer size around to nothing.
    if (status.m_size > kMaxTolmDatSize) {
        TRACE_LOG(L"%s", L"Failed File Load");
        return ERROR_XML_PARSE_ERROR;
    }

    const CString text = DecodeAnsi(ReadDocumentBytes(path, static_cast<UINT>(status.m_size)).data());

    ComPtr<IXMLDOMDocument> document;
    CreateDocument(document);
    if (LoadXmlText(document.Get(), text) != S_OK) {
        TRACE_LOG(L"%s", L"Failed File Load");
        return ERROR_XML_PARSE_ERROR;
    }

    ReadFields(document.Get(), info);
    return ERROR_SUCCESS;
}

void CTolmDat::Descramble(BYTE* destination, DWORD length, const BYTE* source)
{
    for (DWORD i = 0; i < length; ++i)
        destination[i] = source[i] ^ kScrambleKey[i % sizeof(kScrambleKey)];
}

DWORD GetModuleSiblingPath(HMODULE module, const wchar_t* fileName, CString& path)
{
    wchar_t modulePath[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(module, modulePath, MAX_PATH);
    if (length == 0)
        return ::GetLastError();
    // A truncated module path ends inside its directory's name: cutting the last part off would name the
    // parent directory.
    if (length >= MAX_PATH)
        return ERROR_FILENAME_EXCED_RANGE;
    ::PathRemoveFileSpecW(modulePath);
    return GetDirectoryFilePath(modulePath, fileName, path);
}

DWORD GetDirectoryFilePath(const wchar_t* directory, const wchar_t* fileName, CString& path)
{
    wchar_t buffer[MAX_PATH];
    if (wcslen(directory) >= MAX_PATH)
        return ERROR_FILENAME_EXCED_RANGE;
    wcscpy(buffer, directory);
    if (!::PathAppendW(buffer, fileName))
        return ERROR_FILENAME_EXCED_RANGE;
    path = buffer;
    return ERROR_SUCCESS;
}

DWORD LoadPlainOrScrambled(const wchar_t* datPath, const wchar_t* xmlPath, TolmDatInfo& info)
{
    // A failing plain file never falls back: the scrambled one may be an older copy.
    return CTolmDat::LoadFile(::PathFileExistsW(xmlPath) ? xmlPath : datPath, info);
}

CString ExpandFolderPlaceholders(const CString& text)
{
    static const struct {
        const wchar_t* placeholder;
        int folder;
    } kFolders[] = {
        {L"{CSIDL_APPDATA}", CSIDL_APPDATA},
        {L"{CSIDL_LOCAL_APPDATA}", CSIDL_LOCAL_APPDATA},
    };

    CString expanded = text;
    for (const auto& entry : kFolders) {
        if (wcsstr(expanded, entry.placeholder) == nullptr)
            continue;
        wchar_t folder[MAX_PATH] = L"";
        // A folder that cannot be found replaces its placeholder by nothing.
        if (FAILED(::SHGetFolderPathW(nullptr, entry.folder | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                      folder)))
            folder[0] = L'\0';
        expanded.Replace(entry.placeholder, folder);
    }
    return expanded;
}

HRESULT LoadXmlText(IXMLDOMDocument* document, const CString& text)
{
    if (document == nullptr)
        return E_POINTER;
    HRESULT hr = document->put_async(VARIANT_FALSE);
    if (hr != S_OK)
        return hr;

    ScopedBstr xml(::SysAllocStringLen(text, static_cast<UINT>(text.GetLength())));
    if (!xml)
        return E_OUTOFMEMORY;
    VARIANT_BOOL loaded = VARIANT_FALSE;
    hr = document->loadXML(xml.Get(), &loaded);
    if (hr != S_OK)
        return hr;
    return loaded == VARIANT_FALSE ? S_FALSE : S_OK;
}

HRESULT SelectNodeText(IXMLDOMDocument* document, const wchar_t* path, CString& field)
{
    if (document == nullptr)
        return E_POINTER;

    ComPtr<IXMLDOMNode> node;
    {
        ScopedBstr query(::SysAllocString(path));
        if (!query)
            return E_OUTOFMEMORY;
        const HRESULT hr = document->selectSingleNode(query.Get(), node.Receive());
        if (hr != S_OK)
            return hr;
    }
    if (!node)
        return S_FALSE;

    ScopedBstr text;
    const HRESULT hr = node->get_text(text.Receive());
    if (hr == S_OK && text) {
        try {
            field = CString(text.Get(), static_cast<int>(::SysStringLen(text.Get())));
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    return hr;
}
