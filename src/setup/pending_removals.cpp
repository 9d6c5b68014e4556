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

// The value read whole, with two more zero characters: the reading below
// may run into a value that lacks its terminators. NULL when there is none.
static WCHAR *ReadPendingValue(HKEY key, DWORD *size)
{
    DWORD type = 0;
    *size = 0;
    if (RegQueryValueExW(key, PENDING_VALUE, NULL, &type, NULL, size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ || *size == 0)
        return NULL;
    WCHAR *value = (WCHAR *)calloc(1, *size + 2 * sizeof(WCHAR));
    if (value != NULL &&
        RegQueryValueExW(key, PENDING_VALUE, NULL, &type, (BYTE *)value, size) != ERROR_SUCCESS) {
        free(value);
        value = NULL;
    }
    return value;
}

// Copies into kept the pairs of source and target that are not removals
// of the folder (an empty target means a removal); an empty source ends
// the list, and whatever follows is copied byte for byte, an odd last byte
// too. Returns the bytes kept, or size when nothing was taken back.
static DWORD KeepOthersRemovals(const WCHAR *value, DWORD size, const WCHAR *folder, size_t length, WCHAR *kept)
{
    size_t count = size / sizeof(WCHAR), at = 0, keptCount = 0;
    bool changed = false;
    while (at < count && value[at] != 0) {
        size_t target = at + wcslen(value + at) + 1;
        size_t next = target + wcslen(value + target) + 1;
        if (next > count)
            next = count;
        if (value[target] == 0 && LiesIn(value + at, folder, length)) {
            changed = true;
        } else {
            memcpy(kept + keptCount, value + at, (next - at) * sizeof(WCHAR));
            keptCount += next - at;
        }
        at = next;
    }
    if (!changed)
        return size;
    if (keptCount == 0)
        return 0;
    DWORD rest = size - (DWORD)(at * sizeof(WCHAR));
    memcpy((BYTE *)kept + keptCount * sizeof(WCHAR), (const BYTE *)value + at * sizeof(WCHAR), rest);
    return (DWORD)(keptCount * sizeof(WCHAR)) + rest;
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

    // Wide functions: the value holds other programs' paths in UTF-16, and
    // an ANSI round trip would write back any name outside the code page
    // changed.
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SESSION_MANAGER, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    DWORD size = 0;
    WCHAR *value = ReadPendingValue(key, &size);
    WCHAR *kept = value != NULL ? (WCHAR *)calloc(1, size + 2 * sizeof(WCHAR)) : NULL;
    if (kept != NULL) {
        DWORD keptSize = KeepOthersRemovals(value, size, wideFolder, (size_t)n - 1, kept);
        if (keptSize == 0)
            RegDeleteValueW(key, PENDING_VALUE);
        else if (keptSize != size)
            RegSetValueExW(key, PENDING_VALUE, 0, REG_MULTI_SZ, (const BYTE *)kept, keptSize);
    }
    free(value);
    free(kept);
    RegCloseKey(key);
}
