#pragma once
// Where the tests find the built programs and the source tree, as Windows paths.
#include <string>

// The folder of the running test program: the build's bin folder, which holds every built binary.
std::wstring BinDir();
std::wstring BinPath(const std::wstring& name);
std::wstring SourceDir();
std::wstring BuildDir();
