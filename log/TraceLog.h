#pragma once
// CTraceLog: hands English trace lines "[line]message" to the optional logging library KVLog.dll.
// Without the library, or without its export, tracing is off and a write costs one pointer test.
#include <windows.h>

class CTraceLog {
public:
    using WriteLogProc = void(WINAPI*)(const wchar_t* line);

    CTraceLog();
    ~CTraceLog();
    CTraceLog(const CTraceLog&) = delete;
    CTraceLog& operator=(const CTraceLog&) = delete;

    // Formats |format| with the values, then hands "[line]message" to the library in one call.
    // The message is inserted through "%s", never used as a format a second time.
    void Write(int line, const wchar_t* format, ...) const;

    bool IsBound() const { return m_hModule != nullptr; }
    bool IsTracing() const { return m_pfnWriteLog != nullptr; }

private:
    HMODULE m_hModule;
    WriteLogProc m_pfnWriteLog;
};

// The process's one trace writer. It is constructed before any other global object of the program
// and destroyed after them, so every global constructor and destructor may trace.
extern CTraceLog g_TraceLog;

// Each call site supplies its own source line.
#define TRACE_LOG(...) g_TraceLog.Write(__LINE__, __VA_ARGS__)
