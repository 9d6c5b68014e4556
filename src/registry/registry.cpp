#include "registry.h"

#include <string.h>

#include "../app/app.h"

HKEY g_hRegRoot = HKEY_CLASSES_ROOT;
int g_nDeletedInPass;

void SetRegistryRoot(HKEY root)
{
    g_hRegRoot = root;
}

static void WriteValue(const char *subKey, const char *valueName, DWORD type,
                       const void *data, DWORD size)
{
    HKEY key;
    if (RegCreateKeyExA(g_hRegRoot, subKey, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, valueName, 0, type, static_cast<const BYTE *>(data), size);
    RegCloseKey(key);
}

void WriteRegString(const char *subKey, const char *valueName, const char *text)
{
    WriteValue(subKey, valueName, REG_SZ, text, (DWORD)strlen(text) + 1);
}

void WriteRegDword(const char *subKey, const char *valueName, DWORD number)
{
    WriteValue(subKey, valueName, REG_DWORD, &number, sizeof number);
}

void WriteRegBinary(const char *subKey, const char *valueName, const void *data, DWORD size)
{
    WriteValue(subKey, valueName, REG_BINARY, data, size);
}

// Queries a value into data; size is the capacity in, the stored size out.
static bool QueryValue(const char *subKey, const char *valueName, void *data, DWORD *size)
{
    HKEY key;
    if (RegOpenKeyExA(g_hRegRoot, subKey, 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS)
        return false;
    LONG status = RegQueryValueExA(key, valueName, NULL, NULL, static_cast<BYTE *>(data), size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool ReadRegString(const char *subKey, const char *valueName, char *buffer,
                   const char *defaultText, DWORD capacity)
{
    if (capacity == 0)
        return false;
    DWORD size = capacity;
    if (QueryValue(subKey, valueName, buffer, &size)) {
        // Values stored without a terminator get one, if there is room.
        if (size > 0 && buffer[size - 1] == '\0')
            return true;
        if (size < capacity) {
            buffer[size] = '\0';
            return true;
        }
    }
    CopyText(buffer, capacity, defaultText);
    return false;
}

DWORD ReadRegDword(const char *subKey, const char *valueName, DWORD defaultNumber)
{
    DWORD number = 0; // a shorter value fills only its own bytes
    DWORD size = sizeof number;
    if (!QueryValue(subKey, valueName, &number, &size))
        return defaultNumber;
    return number;
}

LONG DeleteRegKey(const char *subKey)
{
    return RegDeleteKeyA(g_hRegRoot, subKey);
}

void DeleteRegValue(const char *subKey, const char *valueName)
{
    HKEY key;
    if (RegOpenKeyExA(g_hRegRoot, subKey, 0, KEY_WRITE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, valueName);
    RegCloseKey(key);
}

enum { KEY_NAME_SIZE = 200, KEY_PATH_SIZE = 512 };

// One deletion pass over path. The index keeps rising after a child was
// deleted, so a pass skips every other sibling; the caller repeats passes
// until one deletes nothing.
static void DeletionPass(const char *path)
{
    HKEY key;
    if (RegOpenKeyExA(g_hRegRoot, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; index++) {
        char name[KEY_NAME_SIZE];
        DWORD nameSize = sizeof name;
        FILETIME written;
        if (RegEnumKeyExA(key, index, name, &nameSize, NULL, NULL, NULL, &written) != ERROR_SUCCESS)
            break;
        char child[KEY_PATH_SIZE];
        // A child path that does not fit is skipped, never cut: a cut path
        // could name some other key.
        if (FormatText(child, sizeof child, "%s\\%s", path, name))
            DeletionPass(child);
    }
    RegCloseKey(key);
    if (RegDeleteKeyA(g_hRegRoot, path) == ERROR_SUCCESS)
        g_nDeletedInPass++;
}

void DeleteRegKeyTree(const char *subKey)
{
    // An empty path would name the root itself and take all of it.
    if (subKey[0] == '\0')
        return;
    if (g_osVersion.dwPlatformId == PLATFORM_WIN9X && DeleteRegKey(subKey) == ERROR_SUCCESS)
        return;
    do {
        g_nDeletedInPass = 0;
        DeletionPass(subKey);
    } while (g_nDeletedInPass != 0);
}
