#pragma once
// Owners for CryptoAPI handles, each released by CryptoAPI's own function. Users link crypt32.
#include "ScopedHandle.h"

#include <wincrypt.h>

struct CertStoreTraits {
    using Type = HCERTSTORE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::CertCloseStore(h, 0); }
};

struct CryptMsgTraits {
    using Type = HCRYPTMSG;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::CryptMsgClose(h); }
};

struct CertContextTraits {
    using Type = PCCERT_CONTEXT;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::CertFreeCertificateContext(h); }
};

using ScopedCertStore = ScopedResource<CertStoreTraits>;
using ScopedCryptMsg = ScopedResource<CryptMsgTraits>;
using ScopedCertContext = ScopedResource<CertContextTraits>;
