#pragma once
// The window's dialogs: About, and System Configuration over the core's port
// rules. Both run modal on the GUI thread.

#include <windows.h>

#include <exception>

#include "ports/port_source.h"
#include "ports/ser_info.h"

namespace sn::win {

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// System Configuration: the combo box shows what the core's rules list and
// select; OK and Cancel hand the choice back to them. A failure of the
// listing ends the dialog and waits in `failure` for the caller.
struct SerialCommDlg {
    PortSource& source;
    PortSelection& selection;
    std::exception_ptr failure;

    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog(HWND dialog);
};

}  // namespace sn::win
