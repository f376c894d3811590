#include "HttpServer.h"

#include "TempDir.h"
#include "TestPaths.h"

#include <cstdlib>

std::wstring TestServerUrl(const std::wstring& pathAndQuery, bool tls)
{
    const std::string port = ReadFileBytes(BuildDir() + (tls ? L"\\http_server\\tls_port" : L"\\http_server\\port"));
    const unsigned long number = std::strtoul(port.c_str(), nullptr, 10);
    if (number == 0)
        return std::wstring();
    return (tls ? L"https://localhost:" : L"http://127.0.0.1:") + std::to_wstring(number) + pathAndQuery;
}

std::wstring TestServerRoot()
{
    return BuildDir() + L"\\http_root";
}

bool IsPattern(const std::string& bytes, size_t size)
{
    if (bytes.size() != size)
        return false;
    for (size_t i = 0; i < size; ++i)
        if (static_cast<unsigned char>(bytes[i]) != i % 251)
            return false;
    return true;
}
