#pragma once
// Starts a worker thread through the runtime library, so the thread may use it freely.
#include "ScopedHandle.h"

using AFX_THREADPROC = UINT (*)(LPVOID);

// Starts |proc| with |param| at normal priority and the default stack size. The handle lets the
// caller wait for the thread's end; it is empty when the thread could not be started, and then
// GetLastError tells why.
ScopedHandle AfxBeginThread(AFX_THREADPROC proc, LPVOID param);
