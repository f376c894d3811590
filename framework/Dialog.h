#pragma once
// A modal dialog created from a template in the executable's resources, with the command routing of
// a dialog: IDOK (Enter) to OnOK, IDCANCEL (the Cancel button, Escape, the Close command) to OnCancel.
#include <windows.h>

// A progress-bar control of a dialog, bound to its window by the dialog's data exchange.
class CProgressCtrl {
public:
    HWND GetSafeHwnd() const { return m_hWnd; }
    void SetRange(short lower, short upper) const;
    void SetPos(int position) const;

    HWND m_hWnd = nullptr;
};

class CDialog {
public:
    CDialog(UINT templateId, HWND parent);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog's modal loop; returns how it ended (IDOK, IDCANCEL), or -1 when the window
    // could not be created, with the reason in GetLastError.
    INT_PTR DoModal();

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }

    HWND m_hWnd = nullptr;

protected:
    // Binds the dialog's controls; called by OnInitDialog.
    virtual void DoDataExchange();
    // Binds the controls and centres the dialog on the screen. TRUE: the system sets the focus.
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // Messages the dialog handles itself; return true when |message| was handled.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    void EndDialog(int result) { ::EndDialog(m_hWnd, result); }
    void BindControl(int id, CProgressCtrl& control) { control.m_hWnd = GetDlgItem(id); }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void CenterWindow();

    UINT m_templateId;
    HWND m_parent;
};
