#include "setup.h"

#include <shellapi.h>
#include <shlobj.h>

#include "../app/app.h"
#include "../app/held_folder.h"
#include "../resources/resource.h"

static const char HOME_PAGE_URL[] = "https://www.melvox.example/";

// The Setup dialog, hidden on every paint of this one.
static HWND g_hSetupDialog;

static void OpenInShell(const char *target)
{
    ShellExecuteA(NULL, "open", target, NULL, "", SW_SHOWNORMAL);
}

// The program group that setup made, by the name it was made with. On the
// NT family it is opened only while it is held and still a folder of its
// own, and by its item-id list, as a folder: a bare name would let the
// shell run a program planted beside a group that is gone. The shell of
// the Windows 95 family may lack the wide calls.
static void OpenProgramGroup()
{
    if (g_szProgramGroup[0] != '\0')
        OpenInShell(g_szProgramGroup);
    if (g_wszProgramGroup[0] == 0)
        return;
    HMODULE shell = GetModuleHandleA("shell32.dll");
    typedef BOOL(WINAPI * OpenCall)(SHELLEXECUTEINFOW *);
    typedef LPITEMIDLIST(WINAPI * ItemCall)(LPCWSTR);
    OpenCall open = (OpenCall)(void *)GetProcAddress(shell, "ShellExecuteExW");
    ItemCall item = (ItemCall)(void *)GetProcAddress(shell, "ILCreateFromPathW");
    HANDLE held = HoldFolder(g_wszProgramGroup);
    if (held == NULL)
        return;
    LPITEMIDLIST list = open != NULL && item != NULL ? item(g_wszProgramGroup) : NULL;
    if (list != NULL) {
        SHELLEXECUTEINFOW folder;
        ZeroMemory(&folder, sizeof folder);
        folder.cbSize = sizeof folder;
        folder.fMask = SEE_MASK_IDLIST | SEE_MASK_FLAG_NO_UI;
        folder.lpVerb = L"open";
        folder.lpIDList = list;
        folder.nShow = SW_SHOWNORMAL;
        open(&folder);
        IMalloc *allocator;
        if (SUCCEEDED(SHGetMalloc(&allocator))) {
            allocator->Free(list);
            allocator->Release();
        }
    }
    CloseHandle(held);
}

static void ShowPriceList()
{
    char form[MAX_PATH];
    char command[MESSAGE_SIZE];
    if (!GetInstallPath("register.frm", form) ||
        !FormatText(command, sizeof command, "notepad \"%s\"", form))
        return;
    if (GetFileAttributesA(form) == INVALID_FILE_ATTRIBUTES)
        return;
    if (RunCommand(command))
        return;
    if (FormatText(command, sizeof command, "write \"%s\"", form))
        RunCommand(command);
}

static void OnCommand(HWND hDlg, WORD id)
{
    char path[MAX_PATH];
    switch (id) {
    case IDOK:
    case IDCANCEL:
        OpenProgramGroup();
        EndDialog(hDlg, 1);
        break;
    case IDC_RUNMELVOX: {
        // Quoted, or a "C:\Program.exe" would start in its place.
        char command[MESSAGE_SIZE];
        if (GetInstallPath("Melvox.exe", path) && FormatText(command, sizeof command, "\"%s\"", path))
            RunCommand(command);
        break;
    }
    case IDC_READHELP:
        WinHelpA(hDlg, "melvox.hlp", HELP_FINDER, 0);
        break;
    case IDC_LICENSE:
        if (GetInstallPath("license.txt", path))
            OpenInShell(path);
        break;
    case IDC_PRICELIST:
        ShowPriceList();
        break;
    case IDC_HOMEPAGE:
        OpenInShell(HOME_PAGE_URL);
        break;
    }
}

INT_PTR CALLBACK DoneDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        g_hSetupDialog = (HWND)lParam;
        SendMessageA(hDlg, WM_SETICON, ICON_BIG, (LPARAM)g_hDialogIcon);
        SendDlgItemMessageA(hDlg, IDC_THANKS, WM_SETFONT, (WPARAM)g_hBoldFont, 0);
        char folder[MAX_PATH];
        GetCurrentFolder(folder); // empty when it does not fit
        SetDlgItemTextA(hDlg, IDC_FOLDER, folder);
        return TRUE;
    }
    case WM_PAINT:
        ShowWindow(g_hSetupDialog, SW_HIDE);
        return FALSE;
    case WM_COMMAND:
        OnCommand(hDlg, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}
