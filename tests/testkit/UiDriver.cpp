#include "UiDriver.h"

#include <commctrl.h>

namespace {

struct Search {
    DWORD processId;
    const std::function<bool(HWND)>* match;
    HWND found;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !::IsWindowVisible(window))
        return TRUE;
    if (search->match && !(*search->match)(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindWindowOf(DWORD processId, const std::function<bool(HWND)>* match)
{
    Search search{processId, match, nullptr};
    ::EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[1024] = {};
    ::GetWindowTextW(window, text, 1024);
    return text;
}

} // namespace

HWND WaitForDialogOf(DWORD processId, const std::function<bool(HWND)>& match, DWORD timeoutMs)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    do {
        if (HWND found = FindWindowOf(processId, &match))
            return found;
        ::Sleep(20);
    } while (::GetTickCount64() < deadline);
    return nullptr;
}

HWND WaitForProgressDialog(DWORD processId, DWORD timeoutMs)
{
    return WaitForDialogOf(processId, [](HWND w) { return ::GetDlgItem(w, 1002) != nullptr; }, timeoutMs);
}

HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs)
{
    return WaitForDialogOf(processId, [](HWND w) { return ::GetDlgItem(w, 0xFFFF) != nullptr; }, timeoutMs);
}

bool HasVisibleWindow(DWORD processId)
{
    return FindWindowOf(processId, nullptr) != nullptr;
}

DialogState ReadDialog(HWND dialog)
{
    DialogState state;
    state.caption = WindowText(dialog);
    state.message = WindowText(::GetDlgItem(dialog, 1003));
    state.cancelEnabled = ::IsWindowEnabled(::GetDlgItem(dialog, IDCANCEL)) != FALSE;
    state.progress = static_cast<int>(::SendMessageW(::GetDlgItem(dialog, 1002), PBM_GETPOS, 0, 0));
    return state;
}

MessageBoxState ReadMessageBox(HWND box)
{
    return MessageBoxState{WindowText(box), WindowText(::GetDlgItem(box, 0xFFFF))};
}

void ClickButton(HWND dialog, int buttonId)
{
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, buttonId)));
}
