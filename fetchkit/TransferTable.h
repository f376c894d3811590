#pragma once
// The library's transfers by handle. Handles count up from 1 and are never reused while the library is
// initialised; an unknown handle finds nothing.
#include "Transfer.h"

#include <map>
#include <memory>
#include <mutex>

class TransferTable {
public:
    void Initialize();
    // The last balancing call cancels what still runs, waits (bounded) for every transfer thread and
    // forgets all handles. Gives false when there was nothing to balance.
    bool Uninitialize();

    // 0 only when even the record of a failed transfer could not be made.
    DWORD Start(const wchar_t* url, const wchar_t* path, DWORD stallTimeoutMs, DWORD flags);
    std::shared_ptr<Transfer> Find(DWORD handle) const;

private:
    mutable std::mutex m_lock;
    std::map<DWORD, std::shared_ptr<Transfer>> m_transfers;
    DWORD m_nextHandle = 1;
    LONG m_initializeCount = 0;
};

TransferTable& Transfers();
