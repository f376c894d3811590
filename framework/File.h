#pragma once
// CFile: a file opened for reading, and the status query by name. As in the class library it stands in
// for, a failed Open returns FALSE (the reason in the last-error code) while a failed Read raises
// CFileException, so callers that read guard the read with a try block.
#include "ScopedHandle.h"

#include <windows.h>

#include <exception>

class CFileException : public std::exception {
public:
    explicit CFileException(DWORD osError) : m_dwOsError(osError) {}
    const char* what() const noexcept override { return "file read failed"; }

    DWORD m_dwOsError;
};

struct CFileStatus {
    ULONGLONG m_size = 0;
};

class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        // Other processes may read and write the file while it is open.
        shareDenyNone = 0x0040,
    };

    // Opens |fileName| with a combination of OpenFlags; FALSE with the last-error code set on failure.
    BOOL Open(const wchar_t* fileName, UINT openFlags);
    // One read of up to |count| bytes; returns the count delivered, 0 at the end of the file.
    UINT Read(void* buffer, UINT count);
    void Close();

    // FALSE with the last-error code set when the file's attributes cannot be read.
    static BOOL GetStatus(const wchar_t* fileName, CFileStatus& status);

private:
    ScopedFileHandle m_hFile;
};
