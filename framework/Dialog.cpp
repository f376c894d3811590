#include "Dialog.h"

#include "WinApp.h"

#include <commctrl.h>

void CProgressCtrl::SetRange(short lower, short upper) const
{
    ::SendMessageW(m_hWnd, PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
}

void CProgressCtrl::SetPos(int position) const
{
    ::SendMessageW(m_hWnd, PBM_SETPOS, position, 0);
}

CDialog::CDialog(UINT templateId, HWND parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal()
{
    const INT_PTR result = ::DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_templateId), m_parent,
                                             DialogProc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return result;
}

void CDialog::DoDataExchange() {}

BOOL CDialog::OnInitDialog()
{
    DoDataExchange();
    CenterWindow();
    return TRUE;
}

void CDialog::OnOK()
{
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

void CDialog::CenterWindow()
{
    RECT window;
    if (!::GetWindowRect(m_hWnd, &window))
        return;
    RECT work;
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
        return;
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    const int x = work.left + ((work.right - work.left) - width) / 2;
    const int y = work.top + ((work.bottom - work.top) - height) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
        return dialog->OnInitDialog();
    }

    auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (dialog == nullptr)
        return FALSE;

    if (message == WM_COMMAND && HIWORD(wParam) <= BN_CLICKED) {
        switch (LOWORD(wParam)) {
        case IDOK:
            dialog->OnOK();
            return TRUE;
        case IDCANCEL:
            dialog->OnCancel();
            return TRUE;
        default:
            break;
        }
    }

    LRESULT result = 0;
    if (!dialog->OnMessage(message, wParam, lParam, result))
        return FALSE;
    ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
}
