#pragma once
// The Authenticode check of a downloaded updater, with an optional check of the signer's name.
// The functions keep no state, write no trace lines and show nothing.
#include "String.h"

#include <windows.h>
#include <wincrypt.h>

// The simple display name the signer's certificate must carry; empty accepts any trusted signer.
// Set at build time from the CMake cache variable TOLM_EXPECTED_SIGNER_NAME.
extern const wchar_t ExpectedSignerName[];

// True when |path| may be launched: its signature is trusted and, if ExpectedSignerName is set, the
// signer carries that name.
bool VerifyUpdater(const wchar_t* path);

// VerifyUpdater with the expected name given; an empty |expectedSignerName| switches the name check off.
// Names compare by UTF-16 code unit: no case folding, no trimming.
bool VerifyUpdaterSignedBy(const wchar_t* path, const wchar_t* expectedSignerName);

// True when the system's Authenticode policy accepts the file's embedded signature.
bool VerifyFileTrust(const wchar_t* path);

// Reads the simple display name of the certificate of the file's first signer into |name|.
// Returns 0 unless a CryptoAPI call failed, else that call's last error. A name that cannot be read
// leaves |name| as it was.
DWORD GetSignerName(const wchar_t* path, CString& name);

// Reads the subject's simple display name into |name|; false (and a line on standard output) when it
// cannot be read.
bool GetCertSubjectName(PCCERT_CONTEXT certificate, CString& name);
