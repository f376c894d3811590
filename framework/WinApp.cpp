#include "WinApp.h"

namespace {
CWinAppEx* g_app = nullptr;
}

CWinAppEx::CWinAppEx() : m_hInstance(::GetModuleHandleW(nullptr))
{
    g_app = this;
}

CWinAppEx::~CWinAppEx()
{
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinAppEx::InitInstance()
{
    return TRUE;
}

int CWinAppEx::ExitInstance()
{
    return 0;
}

CWinAppEx* AfxGetApp()
{
    return g_app;
}

HINSTANCE AfxGetResourceHandle()
{
    return ::GetModuleHandleW(nullptr);
}

int AfxWinMain()
{
    CWinAppEx* app = AfxGetApp();
    if (app == nullptr)
        return -1;
    // The program has no main window: an InitInstance that returns TRUE would have nothing to pump,
    // so the framework goes to ExitInstance either way.
    app->InitInstance();
    return app->ExitInstance();
}
