#include "VerifyUpdater.h"

#include "ScopedCrypt.h"
#include "ScopedHandle.h"

#include <softpub.h>
#include <wintrust.h>

#include <cstdio>

// The request in its 48-byte form, without the later signature-settings member.
static_assert(sizeof(WINTRUST_DATA) == 48);
static_assert(sizeof(WINTRUST_FILE_INFO) == 16);

bool VerifyUpdater(const wchar_t* path)
{
    return VerifyUpdaterSignedBy(path, ExpectedSignerName);
}

bool VerifyUpdaterSignedBy(const wchar_t* path, const wchar_t* expectedSignerName)
{
    // An untrusted file is refused before any signature message is opened or certificate read.
    if (!VerifyFileTrust(path))
        return false;

    const CString expected(expectedSignerName);
    if (expected.IsEmpty())
        return true;

    CString name;
    if (GetSignerName(path, name) != ERROR_SUCCESS)
        return false;
    return name == expected;
}

bool VerifyFileTrust(const wchar_t* path)
{
    // Zeroed first: the service opens the file by its path and determines its kind itself.
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path;

    WINTRUST_DATA request = {};
    request.cbStruct = sizeof(request);
    request.dwUIChoice = WTD_UI_NONE;
    request.fdwRevocationChecks = WTD_REVOKE_NONE;
    request.dwUnionChoice = WTD_CHOICE_FILE;
    request.pFile = &file;
    // No verification state stays open, so no closing call is needed.
    request.dwStateAction = WTD_STATEACTION_IGNORE;
    request.dwProvFlags = WTD_SAFER_FLAG;
    request.dwUIContext = WTD_UICONTEXT_EXECUTE;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    return ::WinVerifyTrust(nullptr, &action, &request) == 0;
}

DWORD GetSignerName(const wchar_t* path, CString& name)
{
    // Declared so that they are released in the order certificate, signer buffer, store, message.
    ScopedCryptMsg message;
    ScopedCertStore store;
    ScopedLocalMem signerBuffer;
    ScopedCertContext certificate;

    if (!::CryptQueryObject(CERT_QUERY_OBJECT_FILE, path, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                            CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, store.Receive(),
                            message.Receive(), nullptr))
        return ::GetLastError();

    DWORD size = 0;
    if (!::CryptMsgGetParam(message.Get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size))
        return ::GetLastError();
    signerBuffer.Reset(::LocalAlloc(LPTR, size));
    // Without the buffer no name is read; the empty name never matches an expected one.
    if (!signerBuffer)
        return ERROR_SUCCESS;
    if (!::CryptMsgGetParam(message.Get(), CMSG_SIGNER_INFO_PARAM, 0, signerBuffer.Get(), &size))
        return ::GetLastError();

    // The search record borrows the issuer and serial number from the signer buffer.
    const auto* signer = static_cast<const CMSG_SIGNER_INFO*>(signerBuffer.Get());
    CERT_INFO search = {};
    search.Issuer = signer->Issuer;
    search.SerialNumber = signer->SerialNumber;
    certificate.Reset(::CertFindCertificateInStore(store.Get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                   CERT_FIND_SUBJECT_CERT, &search, nullptr));
    if (!certificate)
        return ::GetLastError();

    GetCertSubjectName(certificate.Get(), name);
    return ERROR_SUCCESS;
}

bool GetCertSubjectName(PCCERT_CONTEXT certificate, CString& name)
{
    const DWORD length = ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
    if (length == 0) {
        std::wprintf(L"CertGetNameString failed.\n");
        return false;
    }
    ScopedLocalMem buffer(::LocalAlloc(LPTR, length * sizeof(wchar_t)));
    if (!buffer) {
        std::wprintf(L"Unable to allocate memory for subject name.\n");
        return false;
    }
    auto* text = static_cast<wchar_t*>(buffer.Get());
    if (::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, text, length) == 0) {
        std::wprintf(L"CertGetNameString failed.\n");
        return false;
    }
    name = text;
    return true;
}
