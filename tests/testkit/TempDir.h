#pragma once
// A fresh directory under the temporary directory, removed with its contents at the end of the test.
#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_path;
};

bool FileExists(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool CopyFileTo(const std::wstring& from, const std::wstring& to);
// Every name in a directory, "." and ".." left out.
std::wstring ListDirectory(const std::wstring& dir);
