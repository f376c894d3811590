#include "DestinationFile.h"

DestinationFile::~DestinationFile()
{
    Discard();
}

DWORD DestinationFile::Create(const std::wstring& path)
{
    m_file.Reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!m_file)
        return ::GetLastError();
    m_path = path;
    m_created = true;
    return ERROR_SUCCESS;
}

DWORD DestinationFile::Write(const void* data, DWORD size)
{
    DWORD written = 0;
    if (!::WriteFile(m_file.Get(), data, size, &written, nullptr))
        return ::GetLastError();
    return written == size ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

DWORD DestinationFile::Commit()
{
    if (!::FlushFileBuffers(m_file.Get()))
        return ::GetLastError();
    if (!::CloseHandle(m_file.Release()))
        return ::GetLastError();
    m_created = false;
    return ERROR_SUCCESS;
}

void DestinationFile::Discard()
{
    m_file.Reset();
    if (m_created)
        ::DeleteFileW(m_path.c_str());
    m_created = false;
}
