// Entry point of a program built on the framework; linked into the executable only.
#include "WinApp.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    return AfxWinMain();
}
