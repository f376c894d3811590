// InstallTestRoot <certificate.der>: adds the certificate to the local machine's trusted root store.
// An entry for the same certificate is replaced, so running it again leaves one entry.
#include "ScopedCrypt.h"
#include "ScopedHandle.h"

#include <cstdio>
#include <string>

namespace {
bool ReadWholeFile(const wchar_t* path, std::string& bytes)
{
    ScopedFileHandle file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart > 1 << 20)
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return ::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
           read == bytes.size();
}

int Fail(const char* what)
{
    std::fprintf(stderr, "InstallTestRoot: %s failed: 0x%08lX\n", what, ::GetLastError());
    return 1;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: InstallTestRoot <certificate.der>\n");
        return 2;
    }
    std::string der;
    if (!ReadWholeFile(argv[1], der))
        return Fail("reading the certificate");
    ScopedCertStore store(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
    if (!store)
        return Fail("CertOpenStore");
    if (!::CertAddEncodedCertificateToStore(store.Get(), X509_ASN_ENCODING,
                                            reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size()),
                                            CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
        return Fail("CertAddEncodedCertificateToStore");
    return 0;
}
