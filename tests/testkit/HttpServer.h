#pragma once
// URLs of the test web server (tests/http_server.py), which the http_server fixture starts on 127.0.0.1.
#include <string>

// "http://127.0.0.1:PORT/path", or "https://localhost:PORT/path" on the TLS port (its certificate names
// localhost). |pathAndQuery| starts with a slash. Empty when the server's port file is missing.
std::wstring TestServerUrl(const std::wstring& pathAndQuery, bool tls = false);

// Whether |bytes| is the server's generated body of |size| bytes (byte i is i % 251).
bool IsPattern(const std::string& bytes, size_t size);

// The folder the server serves its static files from: tests may drop files there.
std::wstring TestServerRoot();
