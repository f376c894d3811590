#pragma once
// CTolmDat: reads the settings document that lies beside the executable, plain (Tolmdat.xml) or
// scrambled (Tolm.dat), into a TolmDatInfo record. Failures are Win32 result codes, never exceptions;
// only an allocation failure outside the guarded file read leaves as an exception.
#include "String.h"

#include <windows.h>

struct IXMLDOMDocument;

// The settings record; every field is empty until CTolmDat::Load fills it.
struct TolmDatInfo {
    CString EntryInfo;
    CString UpdateTemp;
    CString OrbWorkTemp;
    CString UpdateServerUrl;
    CString AppID;
    CString CookieUrl;
};

extern const wchar_t kTolmDatFileName[];     // the scrambled form
extern const wchar_t kTolmDatXmlFileName[];  // the plain form
// CookieUrl when the document has no such element.
extern const wchar_t kDefaultCookieUrl[];
// A settings document is a few hundred bytes; a larger file is refused before anything is allocated.
constexpr DWORD kMaxTolmDatSize = 1024 * 1024;

class CTolmDat {
public:
    CTolmDat() = delete;

    // Loads the settings beside |module|'s file into |info|, which the caller passes freshly constructed.
    // COM must be initialised on the calling thread. Returns 0, ERROR_FILE_NOT_FOUND (neither file),
    // ERROR_XML_PARSE_ERROR (the chosen file does not read or load) or the system code of a path or
    // status query.
    static DWORD Load(HMODULE module, TolmDatInfo& info);
    // Reads one file, descrambled when its extension is ".dat", and fills |info| from it.
    static DWORD LoadFile(const wchar_t* path, TolmDatInfo& info);
    // XOR with the fixed key, restarted at the first byte; its own inverse. |destination| may be |source|.
    static void Descramble(BYTE* destination, DWORD length, const BYTE* source);
};

// The path of |fileName| in the directory of |module|'s file. ERROR_FILENAME_EXCED_RANGE when the module's
// path or the result does not fit in MAX_PATH characters.
DWORD GetModuleSiblingPath(HMODULE module, const wchar_t* fileName, CString& path);
// |directory| joined with |fileName|; ERROR_FILENAME_EXCED_RANGE when the result would not fit in MAX_PATH.
DWORD GetDirectoryFilePath(const wchar_t* directory, const wchar_t* fileName, CString& path);
// Loads the plain file when it exists, else the scrambled one (whose absence LoadFile reports).
DWORD LoadPlainOrScrambled(const wchar_t* datPath, const wchar_t* xmlPath, TolmDatInfo& info);

// Replaces "{CSIDL_APPDATA}" and "{CSIDL_LOCAL_APPDATA}" (exact case) by the current user's folders.
CString ExpandFolderPlaceholders(const CString& text);
// S_OK when |text| loaded as the document, S_FALSE when it is ill-formed, else a failure code.
HRESULT LoadXmlText(IXMLDOMDocument* document, const CString& text);
// S_OK with |field| set to the text of the first element |path| selects, S_FALSE when none matches,
// else a failure code; |field| changes only on S_OK.
HRESULT SelectNodeText(IXMLDOMDocument* document, const wchar_t* path, CString& field);
