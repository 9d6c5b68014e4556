#include "uninstall.h"

#include <shellapi.h>
#include <shlobj.h>
#include <string.h>

#include "../setup/setup.h"

void RemoveShortcuts()
{
    // One more character than a path: the file list of SHFileOperationA
    // ends in a second NUL. A folder that cannot be resolved gives no
    // path, and nothing is deleted for it.
    char path[MAX_PATH + 1];
    if (GetSpecialFolderPath(NULL, CSIDL_DESKTOPDIRECTORY, "Melvox.lnk", path))
        DeleteFileA(path);
    if (GetSpecialFolderPath(NULL, CSIDL_STARTMENU, "Melvox.lnk", path))
        DeleteFileA(path);
    if (GetSpecialFolderPath(NULL, CSIDL_PROGRAMS, "Melvox", path)) {
        path[strlen(path) + 1] = '\0';
        SHFILEOPSTRUCTA operation;
        ZeroMemory(&operation, sizeof operation);
        operation.hwnd = NULL;
        operation.wFunc = FO_DELETE;
        operation.pFrom = path;
        operation.pTo = NULL;
        operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
        SHFileOperationA(&operation);
    }
}
