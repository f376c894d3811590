#pragma once
// Finds and drives the windows of another process in this Wine session: the progress dialog (it has
// the progress bar 1002) and message boxes (their text is the static control 0xFFFF).
#include <windows.h>

#include <functional>
#include <string>

struct DialogState {
    std::wstring caption;
    std::wstring message;  // text of control 1003
    bool cancelEnabled = false;
    int progress = -1;     // PBM_GETPOS of control 1002
};

struct MessageBoxState {
    std::wstring caption;
    std::wstring text;
};

// The first visible top-level dialog window of |processId| for which |match| holds, waiting up to
// |timeoutMs|; null when none appeared.
HWND WaitForDialogOf(DWORD processId, const std::function<bool(HWND)>& match, DWORD timeoutMs);
HWND WaitForProgressDialog(DWORD processId, DWORD timeoutMs = 30000);
HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs = 30000);
// Whether |processId| shows any top-level window at all right now.
bool HasVisibleWindow(DWORD processId);

DialogState ReadDialog(HWND dialog);
MessageBoxState ReadMessageBox(HWND box);
// Clicks a button of a dialog the way a user's click arrives: as WM_COMMAND from the button.
void ClickButton(HWND dialog, int buttonId);
