#include "TestPaths.h"

#include <windows.h>

std::wstring BinDir()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L'\\'));
}

std::wstring BinPath(const std::wstring& name)
{
    return BinDir() + L"\\" + name;
}

std::wstring SourceDir()
{
    return TOLM_SOURCE_DIR_DOS;
}

std::wstring BuildDir()
{
    return TOLM_BUILD_DIR_DOS;
}
