#include "TrustWarmUp.h"

#include "ScopedCrypt.h"
#include "Thread.h"

namespace {
UINT LoadRootStore(LPVOID)
{
    // Only the side effect counts; a store that cannot be opened is left for the check to report.
    const ScopedCertStore root(::CertOpenSystemStoreW(0, L"Root"));
    return 0;
}
} // namespace

// Without the thread nothing is lost but the head start.
TrustWarmUp::TrustWarmUp() : m_thread(AfxBeginThread(LoadRootStore, nullptr)) {}

TrustWarmUp::~TrustWarmUp()
{
    if (m_thread)
        ::WaitForSingleObject(m_thread.Get(), INFINITE);
}
