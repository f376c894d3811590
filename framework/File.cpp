#include "File.h"

BOOL CFile::Open(const wchar_t* fileName, UINT openFlags)
{
    Close();
    if ((openFlags & ~static_cast<UINT>(shareDenyNone)) != modeRead) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD share = (openFlags & shareDenyNone) ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
    m_hFile.Reset(::CreateFileW(fileName, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    return m_hFile.IsValid();
}

UINT CFile::Read(void* buffer, UINT count)
{
    DWORD read = 0;
    if (!::ReadFile(m_hFile.Get(), buffer, count, &read, nullptr))
        throw CFileException(::GetLastError());
    return read;
}

void CFile::Close()
{
    m_hFile.Reset();
}

BOOL CFile::GetStatus(const wchar_t* fileName, CFileStatus& status)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(fileName, GetFileExInfoStandard, &data))
        return FALSE;
    status.m_size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return TRUE;
}
