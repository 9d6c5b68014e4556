#include "setup.h"

#include "../app/app.h"

bool GetInstallPath(const char *name, char *path)
{
    char folder[MAX_PATH];
    if (GetCurrentFolder(folder) && JoinPath(path, MAX_PATH, folder, name))
        return true;
    path[0] = '\0';
    return false;
}
