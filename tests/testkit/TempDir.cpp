#include "TempDir.h"

#include "ScopedHandle.h"

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <stdexcept>

namespace {
std::atomic<int> g_counter{0};

void RemoveTree(const std::wstring& path)
{
    std::wstring from = path;
    from.push_back(L'\0');  // SHFileOperation wants a double-terminated list
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&op);
}
} // namespace

TempDir::TempDir()
{
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring candidate = std::wstring(temp) + L"tolmtest-" + std::to_wstring(::GetCurrentProcessId()) +
                                 L"-" + std::to_wstring(g_counter++);
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir()
{
    RemoveTree(m_path);
}

bool FileExists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw std::runtime_error("cannot create a test file");
    DWORD written = 0;
    if (!::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        throw std::runtime_error("cannot write a test file");
}

std::string ReadFileBytes(const std::wstring& path)
{
    ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                        FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::string();
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    return bytes;
}

bool CopyFileTo(const std::wstring& from, const std::wstring& to)
{
    return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

std::wstring ListDirectory(const std::wstring& dir)
{
    std::wstring names;
    WIN32_FIND_DATAW data;
    const ScopedFind find(::FindFirstFileW((dir + L"\\*").c_str(), &data));
    if (!find)
        return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            names += (names.empty() ? L"" : L" ") + name;
    } while (::FindNextFileW(find.Get(), &data));
    return names;
}
