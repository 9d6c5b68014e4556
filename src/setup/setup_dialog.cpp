#include "setup.h"

#include "../app/app.h"
#include "../registry/keys.h"
#include "../registry/registry.h"
#include "../resources/resource.h"

// The stored choices, in check-box order. A missing value gives the default.
struct StoredChoice {
    int id;
    const char *key;
    const char *value;
    DWORD defaultState;
};

static const StoredChoice g_storedChoices[] = {
    {IDC_ASSOC_MVX, KEY_SETUP "\\.mvx", "Associated", 1},
    {IDC_ASSOC_ZIP, KEY_SETUP "\\.zip", "Associated", 1},
    {IDC_ASSOC_CAB, KEY_SETUP "\\.cab", "Associated", 1},
    {IDC_ASSOC_ARJ, KEY_SETUP "\\.arj", "Associated", 1},
    {IDC_ASSOC_LZH, KEY_SETUP "\\.lzh", "Associated", 1},
    {IDC_DESKTOP, KEY_SETUP_LINKS, "Desktop", 0},
    {IDC_STARTMENU, KEY_SETUP_LINKS, "StartMenu", 0},
    {IDC_PROGRAMS, KEY_SETUP_LINKS, "Programs", 1},
    {IDC_SHELLEXT, KEY_SETUP, "ShellExt", 1},
};

static void ShowStoredChoices(HWND hDlg)
{
    SetRegistryRoot(HKEY_CURRENT_USER);
    for (const StoredChoice &choice : g_storedChoices) {
        DWORD state = ReadRegDword(choice.key, choice.value, choice.defaultState);
        // Any other number would show a plain check box as greyed.
        CheckDlgButton(hDlg, choice.id, state != 0 ? BST_CHECKED : BST_UNCHECKED);
    }
    SetRegistryRoot(HKEY_CLASSES_ROOT);
}

void ApplySetup(HWND hDlg)
{
    char folder[MAX_PATH];
    if (GetCurrentFolder(folder))
        TakeBackPendingRemovals(folder);
    ApplyAssociations(hDlg);
    ApplyShellIntegration(hDlg);
    NotifyAssociationsChanged();
    ApplyShortcuts(hDlg);
}

INT_PTR CALLBACK SetupDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        SendMessageA(hDlg, WM_SETICON, ICON_BIG, (LPARAM)g_hDialogIcon);
        ShowStoredChoices(hDlg);
        return TRUE; // the focus goes to the first tab stop, OK
    }
    if (message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK: {
        // The steps read the check boxes, so the dialog stays open (and is
        // only hidden) until the Completion dialog has ended.
        ApplySetup(hDlg);
        DialogBoxParamA(g_hResources, "DONEDLG", NULL, DoneDialogProc, (LPARAM)hDlg);
        EndDialog(hDlg, 1);
        break;
    }
    case IDCANCEL:
        EndDialog(hDlg, 0);
        break;
    }
    return TRUE;
}
