#pragma once
// The file a transfer writes: created new, shared for reading and deleting, and either committed
// (every block written and the file closed) or discarded (closed and deleted) at the end. Writing runs
// on a thread of its own behind a ring of buffers, so the network is read while earlier blocks go to
// the file. Commit does not force the blocks to the disk: the file lives only until its updater has run,
// and the system cache already serves it to the verification and the launch.
#include "ScopedHandle.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class DestinationFile {
public:
    static constexpr DWORD kBufferSize = 1024 * 1024;
    static constexpr int kBufferCount = 4;

    DestinationFile() = default;
    ~DestinationFile();
    DestinationFile(const DestinationFile&) = delete;
    DestinationFile& operator=(const DestinationFile&) = delete;

    // An existing file is never replaced: that fails with ERROR_FILE_EXISTS.
    DWORD Create(const std::wstring& path);
    // The buffer to fill next, kBufferSize bytes; it stays the caller's until Submit.
    unsigned char* Buffer() { return m_buffers[m_filling].get(); }
    // Queues the filled buffer for writing and waits until another one is free. Gives the error of an
    // earlier write, if one failed.
    DWORD Submit(DWORD size);
    DWORD Commit();
    void Discard();

private:
    void WriterMain();
    DWORD StopWriter();

    std::wstring m_path;
    ScopedFileHandle m_file;
    bool m_created = false;
    std::unique_ptr<unsigned char[]> m_buffers[kBufferCount];
    DWORD m_sizes[kBufferCount] = {};
    int m_filling = 0;  // the caller's buffer: never one that is queued

    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_head = 0;    // the oldest queued buffer, written next
    int m_queued = 0;  // queued buffers, the one being written included
    bool m_stop = false;
    DWORD m_writeError = ERROR_SUCCESS;
    std::thread m_writer;
};
