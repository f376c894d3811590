#include "TraceLog.h"

#include "String.h"

#include <cstdarg>

// init_priority puts the trace writer ahead of every global constructed at the default priority
// (the application object among them), and so behind them in static destruction.
CTraceLog g_TraceLog __attribute__((init_priority(1000)));

CTraceLog::CTraceLog()
    // Only the executable's own directory and the system directory are searched: a KVLog.dll planted
    // in the working directory or on PATH must not run code inside the updater.
    : m_hModule(::LoadLibraryExW(L"KVLog.dll", nullptr,
                                 LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32)),
      m_pfnWriteLog(nullptr)
{
    if (m_hModule != nullptr)
        m_pfnWriteLog = reinterpret_cast<WriteLogProc>(
            reinterpret_cast<void*>(::GetProcAddress(m_hModule, "KVL_WriteLog")));
}

CTraceLog::~CTraceLog()
{
    m_pfnWriteLog = nullptr;
    if (m_hModule != nullptr) {
        ::FreeLibrary(m_hModule);
        m_hModule = nullptr;
    }
}

void CTraceLog::Write(int line, const wchar_t* format, ...) const
{
    if (m_pfnWriteLog == nullptr)
        return;

    CString message;
    va_list args;
    va_start(args, format);
    message.FormatV(format, args);
    va_end(args);

    CString traceLine;
    traceLine.Format(L"[%d]%s", line, message.GetString());

    if (WriteLogProc writeLog = m_pfnWriteLog)
        writeLog(traceLine);
}
