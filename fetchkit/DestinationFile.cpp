#include "DestinationFile.h"

#include <new>
#include <system_error>

DestinationFile::~DestinationFile()
{
    Discard();
}

DWORD DestinationFile::Create(const std::wstring& path)
{
    for (auto& buffer : m_buffers) {
        buffer.reset(new (std::nothrow) unsigned char[kBufferSize]);
        if (!buffer)
            return ERROR_OUTOFMEMORY;
    }
    m_file.Reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!m_file)
        return ::GetLastError();
    m_path = path;
    m_created = true;
    try {
        m_writer = std::thread(&DestinationFile::WriterMain, this);
    } catch (const std::system_error& error) {
        return static_cast<DWORD>(error.code().value());
    }
    return ERROR_SUCCESS;
}

DWORD DestinationFile::Submit(DWORD size)
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_sizes[m_filling] = size;
    m_filling = (m_filling + 1) % kBufferCount;
    ++m_queued;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return m_queued < kBufferCount; });
    return m_writeError;
}

void DestinationFile::WriterMain()
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_changed.wait(lock, [this] { return m_queued > 0 || m_stop; });
        if (m_queued == 0)
            return;
        const unsigned char* data = m_buffers[m_head].get();
        const DWORD size = m_sizes[m_head];
        const bool failed = m_writeError != ERROR_SUCCESS;
        lock.unlock();
        DWORD error = ERROR_SUCCESS;
        if (!failed) {
            DWORD written = 0;
            if (!::WriteFile(m_file.Get(), data, size, &written, nullptr))
                error = ::GetLastError();
            else if (written != size)
                error = ERROR_WRITE_FAULT;
        }
        lock.lock();
        if (m_writeError == ERROR_SUCCESS)
            m_writeError = error;
        m_head = (m_head + 1) % kBufferCount;
        --m_queued;
        m_changed.notify_all();
    }
}

DWORD DestinationFile::StopWriter()
{
    if (m_writer.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_stop = true;
            m_changed.notify_all();
        }
        m_writer.join();
    }
    return m_writeError;
}

DWORD DestinationFile::Commit()
{
    if (const DWORD error = StopWriter())
        return error;
    if (!::CloseHandle(m_file.Release()))
        return ::GetLastError();
    m_created = false;
    return ERROR_SUCCESS;
}

void DestinationFile::Discard()
{
    StopWriter();
    m_file.Reset();
    if (m_created)
        ::DeleteFileW(m_path.c_str());
    m_created = false;
}
