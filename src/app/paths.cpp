#include "app.h"

bool GetProgramPath(char *path)
{
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        path[0] = '\0';
        return false;
    }
    return true;
}

bool GetCurrentFolder(char *path)
{
    DWORD n = GetCurrentDirectoryA(MAX_PATH, path);
    if (n == 0 || n >= MAX_PATH) {
        path[0] = '\0';
        return false;
    }
    return true;
}
