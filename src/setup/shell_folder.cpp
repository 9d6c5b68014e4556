#include "setup.h"

#include <shlobj.h>

#include "../app/app.h"

bool GetSpecialFolderPath(HWND owner, int csidl, const char *name, char *path)
{
    path[0] = '\0';
    LPITEMIDLIST list = NULL;
    if (FAILED(SHGetSpecialFolderLocation(owner, csidl, &list)) || list == NULL)
        return false;
    char folder[MAX_PATH];
    BOOL found = SHGetPathFromIDListA(list, folder);
    IMalloc *allocator;
    if (SUCCEEDED(SHGetMalloc(&allocator))) {
        allocator->Free(list);
        allocator->Release();
    }
    if (!found || folder[0] == '\0')
        return false;
    if (!JoinPath(path, MAX_PATH, folder, name)) {
        path[0] = '\0';
        return false;
    }
    return true;
}
