#pragma once
// The application object and the start-up order: static initialisation constructs the one
// application object, wWinMain calls InitInstance once; when it returns FALSE no message loop runs
// and the result of ExitInstance becomes the process exit code, all 32 bits of it.
#include <windows.h>

class CWinAppEx {
public:
    CWinAppEx();
    virtual ~CWinAppEx();
    CWinAppEx(const CWinAppEx&) = delete;
    CWinAppEx& operator=(const CWinAppEx&) = delete;

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    HINSTANCE m_hInstance;
};

// The application object constructed by static initialisation, or null in a program without one.
CWinAppEx* AfxGetApp();
// The module whose resources the program's texts and dialogs come from: the executable.
HINSTANCE AfxGetResourceHandle();
// Runs InitInstance and ExitInstance of the application object; returns the process exit code.
int AfxWinMain();
