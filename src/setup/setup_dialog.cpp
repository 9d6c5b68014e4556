#include "setup.h"

// Placeholder until the apply steps land: the dialog ends on OK or Cancel.
INT_PTR CALLBACK SetupDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND) {
        WORD id = LOWORD(wParam);
        if (id == IDOK || id == IDCANCEL)
            EndDialog(hDlg, id == IDOK);
        return TRUE;
    }
    return FALSE;
}
