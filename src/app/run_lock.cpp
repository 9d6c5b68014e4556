#include "app.h"

// One setup or uninstall at a time: two at once would write the same keys
// and the same cleanup script, and each would remove what the other is
// still working on.
static const char RUN_LOCK_NAME[] = "Melvox.SetupOrUninstall";

static HANDLE g_hRunLock;

bool TakeRunLock()
{
    // The Global\ namespace exists from Windows 2000 on; there it reaches
    // the other users' sessions too. Older systems know only plain names.
    bool global = g_osVersion.dwPlatformId != PLATFORM_WIN9X && g_osVersion.dwMajorVersion >= 5;
    char name[64];
    FormatText(name, sizeof name, "%s%s", global ? "Global\\" : "", RUN_LOCK_NAME);
    HANDLE lock = CreateMutexA(NULL, FALSE, name);
    if (lock == NULL) {
        // It exists, made by an instance whose rights this one lacks. Any
        // other failure must not stop a setup or uninstall from running.
        return GetLastError() != ERROR_ACCESS_DENIED;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(lock);
        return false;
    }
    g_hRunLock = lock; // held until the run ends
    return true;
}

void ReleaseRunLock()
{
    if (g_hRunLock != NULL) {
        CloseHandle(g_hRunLock);
        g_hRunLock = NULL;
    }
}
