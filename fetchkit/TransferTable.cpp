#include "TransferTable.h"

#include <new>
#include <vector>

namespace {
// Long enough for any transfer to notice its cancel and delete its file; short enough that a thread
// stuck in the system cannot hold up the program's exit for long.
constexpr DWORD kShutdownWaitMs = 10000;
} // namespace

TransferTable& Transfers()
{
    static TransferTable table;
    return table;
}

void TransferTable::Initialize()
{
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_initializeCount;
}

bool TransferTable::Uninitialize()
{
    std::map<DWORD, std::shared_ptr<Transfer>> transfers;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_initializeCount > 0 && --m_initializeCount > 0)
            return true;
        transfers.swap(m_transfers);
    }
    for (auto& [handle, transfer] : transfers)
        transfer->Cancel();
    const DWORD start = ::GetTickCount();
    for (auto& [handle, transfer] : transfers) {
        if (!transfer->Thread())
            continue;
        const DWORD elapsed = ::GetTickCount() - start;
        ::WaitForSingleObject(transfer->Thread(), elapsed < kShutdownWaitMs ? kShutdownWaitMs - elapsed : 0);
    }
    return true;
}

DWORD TransferTable::Start(const wchar_t* url, const wchar_t* path, DWORD stallTimeoutMs, DWORD flags)
{
    try {
        auto transfer = std::make_shared<Transfer>(url ? url : L"", path ? path : L"", stallTimeoutMs, flags);
        DWORD handle = 0;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            handle = m_nextHandle++;
            if (m_nextHandle == 0)
                m_nextHandle = 1;
            m_transfers.emplace(handle, transfer);
        }
        Transfer::Start(transfer);
        return handle;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

std::shared_ptr<Transfer> TransferTable::Find(DWORD handle) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    const auto found = m_transfers.find(handle);
    return found == m_transfers.end() ? nullptr : found->second;
}
