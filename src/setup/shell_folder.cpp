#include "setup.h"

#include <shlobj.h>
#include <string.h>
#include <wchar.h>

#include "../app/app.h"

// The special folder's path in one of the two buffers, the other NULL.
// The shell of the Windows 95 family may lack the wide call.
static bool GetFolder(HWND owner, int csidl, char *narrow, WCHAR *wide)
{
    LPITEMIDLIST list = NULL;
    if (FAILED(SHGetSpecialFolderLocation(owner, csidl, &list)) || list == NULL)
        return false;
    typedef BOOL(WINAPI * WidePathFunction)(LPCITEMIDLIST, LPWSTR);
    WidePathFunction widePath = (WidePathFunction)(void *)GetProcAddress(
        GetModuleHandleA("shell32.dll"), "SHGetPathFromIDListW");
    BOOL found = narrow != NULL ? SHGetPathFromIDListA(list, narrow) && narrow[0] != '\0'
                                : widePath != NULL && widePath(list, wide) && wide[0] != 0;
    IMalloc *allocator;
    if (SUCCEEDED(SHGetMalloc(&allocator))) {
        allocator->Free(list);
        allocator->Release();
    }
    return found;
}

bool GetSpecialFolderPath(HWND owner, int csidl, const char *name, char *path)
{
    char folder[MAX_PATH];
    path[0] = '\0';
    if (!GetFolder(owner, csidl, folder, NULL) || !JoinPath(path, MAX_PATH, folder, name)) {
        path[0] = '\0';
        return false;
    }
    return true;
}

bool GetSpecialFolderPath(HWND owner, int csidl, const char *name, WCHAR *path)
{
    WCHAR folder[MAX_PATH];
    path[0] = 0;
    return GetFolder(owner, csidl, NULL, folder) && JoinPath(path, MAX_PATH, folder, name);
}

bool JoinPath(WCHAR *buffer, size_t size, const WCHAR *folder, const char *name)
{
    size_t n = wcslen(folder);
    bool separator = n > 0 && folder[n - 1] == L'\\';
    if (n + (separator ? 0 : 1) >= size) {
        buffer[0] = 0;
        return false;
    }
    memcpy(buffer, folder, n * sizeof(WCHAR));
    if (!separator)
        buffer[n++] = L'\\';
    // Fails, writing no terminator, when the name does not fit.
    if (MultiByteToWideChar(CP_ACP, 0, name, -1, buffer + n, (int)(size - n)) == 0) {
        buffer[0] = 0;
        return false;
    }
    return true;
}
