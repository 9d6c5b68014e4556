#include "uninstall.h"

#include <shlobj.h>
#include <string.h>

#include <type_traits>

#include "../app/app.h"
#include "../app/file_calls.h"
#include "../app/held_folder.h"
#include "../setup/setup.h"

// Folders nested deeper in the program group stay, with those above them.
enum { GROUP_DEPTH = 16 };

// Removes the entry at path, of length characters in a MAX_PATH buffer
// that the deeper levels share; path is whole again on return. A link (a
// reparse point) is removed as a link, never entered nor followed: where
// the system refuses that, it stays. A name that would not fit the buffer
// stays too.
template <typename Char>
static void RemoveEntry(Char *path, size_t length, DWORD attributes, int depth)
{
    typedef typename std::conditional<sizeof(Char) == 1, WIN32_FIND_DATAA, WIN32_FIND_DATAW>::type FindData;
    bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    // Attributes set on a link would be set on what it points at.
    if ((attributes & FILE_ATTRIBUTE_READONLY) && !link)
        MakeWritable(path);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteOne(path);
        return;
    }
    // The pattern holds the group's path and names the system gave for its
    // entries: none has '?' or '*'.
    if (!link && depth > 0 && length + 2 < MAX_PATH) {
        path[length] = '\\';
        path[length + 1] = '*';
        path[length + 2] = 0;
        FindData found;
        HANDLE search = FindFirst(path, &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const Char *name = found.cFileName;
                size_t n = 0;
                while (name[n] != 0)
                    n++;
                if ((name[0] == '.' && (n == 1 || (n == 2 && name[1] == '.'))) || length + 1 + n >= MAX_PATH)
                    continue;
                memcpy(path + length + 1, name, (n + 1) * sizeof(Char));
                RemoveEntry(path, length + 1 + n, found.dwFileAttributes, depth - 1);
            } while (FindNext(search, &found));
            FindClose(search);
        }
        path[length] = 0;
    }
    RemoveFolder(path);
}

// The NT family's walk: every folder is held while its entries go, and
// each entry is opened relative to its held parent, so a folder renamed
// away and replaced by a link meanwhile is neither named nor followed.
static void EmptyHeldFolder(HANDLE folder, int depth);

static void RemoveHeldEntry(HANDLE parent, const ListedEntry &entry, void *context)
{
    int depth = *(const int *)context;
    EntryKind kind;
    HANDLE handle = OpenHeldEntry(parent, entry, &kind);
    if (handle == NULL)
        return;
    if (kind == ENTRY_FOLDER && depth > 0)
        EmptyHeldFolder(handle, depth - 1);
    DeleteHeldEntry(handle, kind);
    CloseHandle(handle);
}

static void EmptyHeldFolder(HANDLE folder, int depth)
{
    if (g_heldFolderHook != NULL)
        g_heldFolderHook(folder);
    ListHeldFolder(folder, RemoveHeldEntry, &depth);
}

static void RemoveWideShortcuts()
{
    WCHAR path[MAX_PATH];
    const int linkFolders[] = {CSIDL_DESKTOPDIRECTORY, CSIDL_STARTMENU};
    for (int csidl : linkFolders)
        if (GetSpecialFolderPath(NULL, csidl, "Melvox.lnk", path))
            RemoveByReplacing(path);
    if (!GetSpecialFolderPath(NULL, CSIDL_PROGRAMS, "Melvox", path))
        return;
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    // A group that is a link goes as a link where the system allows it.
    // Without the calls that hold it, an ordinary group stays untouched.
    HANDLE group = HoldFolder(path, true);
    if (group == NULL) {
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            RemoveDirectoryW(path);
        return;
    }
    if (GROUP_DEPTH > 0)
        EmptyHeldFolder(group, GROUP_DEPTH - 1);
    DeleteHeldEntry(group, ENTRY_FOLDER);
    CloseHandle(group);
}

static void RemoveNarrowShortcuts()
{
    // A folder that cannot be resolved gives no path, and nothing is
    // deleted for it.
    char path[MAX_PATH];
    const int linkFolders[] = {CSIDL_DESKTOPDIRECTORY, CSIDL_STARTMENU};
    for (int csidl : linkFolders)
        if (GetSpecialFolderPath(NULL, csidl, "Melvox.lnk", path))
            DeleteOne(path);
    if (GetSpecialFolderPath(NULL, CSIDL_PROGRAMS, "Melvox", path)) {
        DWORD attributes = Attributes(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            RemoveEntry(path, strlen(path), attributes, GROUP_DEPTH);
    }
}

void RemoveShortcuts()
{
    if (g_osVersion.dwPlatformId == PLATFORM_WIN9X)
        RemoveNarrowShortcuts();
    else
        RemoveWideShortcuts();
}
