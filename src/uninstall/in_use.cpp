#include "uninstall.h"

#include <stdlib.h>
#include <string.h>

#include "../app/app.h"
#include "listfile.h"

void AddHeldFile(HeldFiles *held, const char *name)
{
    for (const char *exempt : held->exempt)
        if (exempt != NULL && EqualsIgnoringCase(name, exempt))
            return;
    size_t length = strlen(name) + 1;
    if (!GrowBlock((void **)&held->names, &held->size, held->used + length, 1)) {
        held->lost++;
        return;
    }
    memcpy(held->names + held->used, name, length);
    held->used += length;
    held->count++;
}

void FreeHeldFiles(HeldFiles *held)
{
    free(held->names);
    held->names = NULL;
    held->used = held->size = 0;
    held->count = held->lost = 0;
}

bool IsFileInUse(const char *name)
{
    // A running program's file still opens for reading with no sharing
    // (under Wine at least); for writing it is refused.
    HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(file);
    return false;
}

static bool IsProgramFile(const char *name)
{
    size_t n = strlen(name);
    return n >= 4 && EqualsIgnoringCase(name + n - 4, ".exe");
}

bool FindRunningProgram(FILE *list, const char *prefix, const char *programPath, char *name)
{
    bool found = false;
    while (!found && ReadListEntry(list, prefix, name)) {
        // A listed uninstall.exe is this program: it runs, and goes last.
        if (IsProgramFile(name) && !EqualsIgnoringCase(name, programPath))
            found = IsFileInUse(name);
    }
    fseek(list, 0, SEEK_SET);
    return found;
}

static bool ScheduleRemoval(const char *name)
{
    // A folder entry may end in a separator, which the system would keep
    // in the name that it removes at the restart.
    char path[MAX_PATH];
    if (!CopyText(path, sizeof path, name))
        return false;
    char *end = path;
    for (char *p = path; *p != '\0'; p = NextChar(p))
        if (*p != '\\' && *p != '/')
            end = NextChar(p);
    *end = '\0';
    return MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

// The listed folders that hold a held file, deepest first (list order
// among equals), each scheduled once the files are.
static void ScheduleHoldingFolders(FILE *list, const char *prefix, const HeldFiles *held)
{
    HeldFiles folders;
    ZeroMemory(&folders, sizeof folders);
    char name[MAX_PATH];
    int deepest = 0;
    while (ReadListEntry(list, prefix, name)) {
        DWORD attributes = GetFileAttributesA(name);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        bool holds = false;
        for (const char *file = held->names; !holds && file < held->names + held->used;
             file += strlen(file) + 1)
            holds = EntryHolds(name, file);
        if (!holds)
            continue;
        AddHeldFile(&folders, name);
        if (EntryDepth(name) > deepest)
            deepest = EntryDepth(name);
    }
    fseek(list, 0, SEEK_SET);
    for (int depth = deepest; depth > 0; depth--)
        for (const char *folder = folders.names; folder && folder < folders.names + folders.used;
             folder += strlen(folder) + 1)
            if (EntryDepth(folder) == depth)
                ScheduleRemoval(folder);
    FreeHeldFiles(&folders);
}

bool ScheduleHeldFiles(FILE *list, const char *prefix, const char *folder, const HeldFiles *held)
{
    if (g_osVersion.dwPlatformId == PLATFORM_WIN9X)
        return false;
    // Files first, so that their folders are empty when their turn comes.
    bool all = held->lost == 0;
    for (const char *file = held->names; file && file < held->names + held->used;
         file += strlen(file) + 1)
        all = ScheduleRemoval(file) && all;
    ScheduleHoldingFolders(list, prefix, held);
    // A drive root is never removed.
    if (folder[0] != '\0' && !EndsInBackslash(folder))
        ScheduleRemoval(folder);
    return all;
}
