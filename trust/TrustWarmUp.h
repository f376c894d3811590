#pragma once
// Loads the system's trusted root certificates on a thread of its own while the updater downloads, so
// the signature check after the transfer does not wait for them. Under Wine the first opening of the
// Root store reads and checks every root certificate of the host, which takes about half a second;
// later openings in the process reuse what it built.
#include "ScopedHandle.h"

class TrustWarmUp {
public:
    TrustWarmUp();
    // Waits for the thread: nothing of it runs once the owner is gone.
    ~TrustWarmUp();
    TrustWarmUp(const TrustWarmUp&) = delete;
    TrustWarmUp& operator=(const TrustWarmUp&) = delete;

private:
    ScopedHandle m_thread;
};
