// The About and System Configuration dialogs: their forms live in the
// resource script; these procedures only hand the choice to the core's rules.

#include "app/win/win_dialogs.h"

#include "app/win/resource.h"
#include "app/win/win_form.h"
#include "ports/serial_comm_dlg.h"

#include <algorithm>

namespace sn::win {

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        FitStaticTexts(dialog);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK SerialCommDlg::Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        reinterpret_cast<SerialCommDlg*>(lParam)->OnInitDialog(dialog);
        return TRUE;
    }
    auto* self = reinterpret_cast<SerialCommDlg*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (self == nullptr || message != WM_COMMAND) {
        return FALSE;
    }
    const int id = LOWORD(wParam);
    if (id == IDOK) {
        char text[512] = {};
        GetDlgItemTextA(dialog, IDC_PORTCOMBO, text, sizeof text);
        EndDialog(dialog, IDOK);
        SerialCommDlgOnOK(self->selection, text);
        return TRUE;
    }
    if (id == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        SerialCommDlgOnCancel(self->selection);
        return TRUE;
    }
    return FALSE;
}

void SerialCommDlg::OnInitDialog(HWND dialog) {
    FitStaticTexts(dialog);
    try {
        const SerialCommDlgInit init = SerialCommDlgOnInit(source, selection);
        HWND combo = GetDlgItem(dialog, IDC_PORTCOMBO);
        HDC dc = GetDC(combo);
        const auto oldFont =
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(combo, WM_GETFONT, 0, 0)));
        int widest = 0;
        for (const std::string& name : init.entries) {
            SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
            SIZE size{};
            GetTextExtentPoint32A(dc, name.c_str(), static_cast<int>(name.size()), &size);
            widest = std::max(widest, static_cast<int>(size.cx));
        }
        SelectObject(dc, oldFont);
        ReleaseDC(combo, dc);
        // The box keeps its size; its list is as wide as the longest name.
        SendMessageA(combo, CB_SETDROPPEDWIDTH, widest + GetSystemMetrics(SM_CXVSCROLL) + 8, 0);
        SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(init.selected), 0);
    } catch (...) {
        failure = std::current_exception();
        EndDialog(dialog, IDCANCEL);
    }
}

}  // namespace sn::win
