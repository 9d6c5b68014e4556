#include "setup.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "../app/app.h"

static const WCHAR SESSION_MANAGER[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
static const WCHAR PENDING_VALUE[] = L"PendingFileRenameOperations";

// Whether a pending operation's source ("\??\C:\..." as the system writes
// it) is the folder or lies below it.
static bool LiesIn(const WCHAR *source, const WCHAR *folder, size_t length)
{
    if (wcsncmp(source, L"\\??\\", 4) == 0)
        source += 4;
    return _wcsnicmp(source, folder, length) == 0 && (source[length] == 0 || source[length] == L'\\');
}

void TakeBackPendingRemovals(const char *folder)
{
    // The Windows 95 family keeps no such schedule.
    if (g_osVersion.dwPlatformId == PLATFORM_WIN9X)
        return;
    WCHAR wideFolder[MAX_PATH];
    int n = MultiByteToWideChar(CP_ACP, 0, folder, -1, wideFolder, MAX_PATH);
    // A drive root would take back every removal on the drive.
    if (n <= 1 || wideFolder[n - 2] == L'\\')
        return;
    size_t length = (size_t)n - 1;

    // Wide functions: the value holds other programs' paths in UTF-16, and
    // an ANSI round trip would write back any name outside the code page
    // changed.
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SESSION_MANAGER, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, PENDING_VALUE, NULL, &type, NULL, &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ || size == 0) {
        RegCloseKey(key);
        return;
    }
    // Two more characters: the reading below may run into a value that
    // lacks its terminators.
    DWORD capacity = size + 2 * sizeof(WCHAR);
    WCHAR *value = (WCHAR *)calloc(1, capacity);
    WCHAR *kept = (WCHAR *)calloc(1, capacity);
    if (value == NULL || kept == NULL ||
        RegQueryValueExW(key, PENDING_VALUE, NULL, &type, (BYTE *)value, &size) != ERROR_SUCCESS) {
        free(value);
        free(kept);
        RegCloseKey(key);
        return;
    }

    // Pairs of source and target; an empty target means a removal. An
    // empty source ends the list, and whatever follows is kept as it is.
    size_t count = size / sizeof(WCHAR), at = 0, keptCount = 0;
    bool changed = false, anyKept = false;
    while (at < count && value[at] != 0) {
        size_t sourceLength = wcslen(value + at);
        size_t target = at + sourceLength + 1;
        size_t next = target + wcslen(value + target) + 1;
        if (next > count)
            next = count;
        if (value[target] == 0 && LiesIn(value + at, wideFolder, length)) {
            changed = true;
        } else {
            memcpy(kept + keptCount, value + at, (next - at) * sizeof(WCHAR));
            keptCount += next - at;
            anyKept = true;
        }
        at = next;
    }
    if (changed) {
        if (!anyKept) {
            RegDeleteValueW(key, PENDING_VALUE);
        } else {
            // The rest is copied byte for byte, an odd last byte too.
            DWORD rest = size - (DWORD)(at * sizeof(WCHAR));
            memcpy((BYTE *)kept + keptCount * sizeof(WCHAR), (BYTE *)value + at * sizeof(WCHAR), rest);
            RegSetValueExW(key, PENDING_VALUE, 0, REG_MULTI_SZ, (const BYTE *)kept,
                           (DWORD)(keptCount * sizeof(WCHAR)) + rest);
        }
    }
    free(value);
    free(kept);
    RegCloseKey(key);
}
