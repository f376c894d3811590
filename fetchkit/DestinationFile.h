#pragma once
// The file a transfer writes: created new, shared for reading and deleting, and either committed
// (flushed and closed) or discarded (closed and deleted) at the end.
#include "ScopedHandle.h"

#include <string>

class DestinationFile {
public:
    DestinationFile() = default;
    ~DestinationFile();
    DestinationFile(const DestinationFile&) = delete;
    DestinationFile& operator=(const DestinationFile&) = delete;

    // An existing file is never replaced: that fails with ERROR_FILE_EXISTS.
    DWORD Create(const std::wstring& path);
    DWORD Write(const void* data, DWORD size);
    DWORD Commit();
    void Discard();

private:
    std::wstring m_path;
    ScopedFileHandle m_file;
    bool m_created = false;
};
