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

// Where the group's folders that stay are named, or NULL.
static HeldFiles *g_groupLeft;

static void NoteGroupFolderLeft(const char *path)
{
    AddHeldFile(g_groupLeft, path);
}

static void NoteGroupFolderLeft(const WCHAR *path)
{
    // Only to be shown: a letter the code page lacks may become '?'.
    char narrow[2 * MAX_PATH];
    if (WideCharToMultiByte(CP_ACP, 0, path, -1, narrow, sizeof narrow, NULL, NULL) > 0)
        AddHeldFile(g_groupLeft, narrow);
}

// Removes the entry at path, of length characters in a MAX_PATH buffer
// that the deeper levels share; path is whole again on return. A link (a
// reparse point) is removed as a link, never entered nor followed: where
// the system refuses that, it stays. A name that would not fit the buffer
// stays too, and so does its folder, which is named as left.
template <typename Char>
static void RemoveGroupEntry(Char *path, size_t length, DWORD attributes, int depth)
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
    bool unreached = !link && !(depth > 0 && length + 2 < MAX_PATH);
    // The pattern holds the group's path and names the system gave for its
    // entries: none has '?' or '*'.
    if (!link && !unreached) {
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
                if (name[0] == '.' && (n == 1 || (n == 2 && name[1] == '.')))
                    continue;
                if (length + 1 + n >= MAX_PATH) {
                    unreached = true;
                    continue;
                }
                memcpy(path + length + 1, name, (n + 1) * sizeof(Char));
                RemoveGroupEntry(path, length + 1 + n, found.dwFileAttributes, depth - 1);
            } while (FindNext(search, &found));
            FindClose(search);
        }
        path[length] = 0;
    }
    RemoveFolder(path);
    if (unreached && g_groupLeft != NULL && Attributes(path) != INVALID_FILE_ATTRIBUTES)
        NoteGroupFolderLeft(path);
}

// The NT family's walk: every folder is held while its entries go, and
// each entry is opened relative to its held parent, so a folder renamed
// away and replaced by a link meanwhile is neither named nor followed.
// The walk keeps the full name of where it is only to name a folder that
// stays; nothing is opened by it.
struct HeldWalk {
    int depth;
    WCHAR path[MAX_PATH];
    size_t length;
};

static void EmptyHeldFolder(HANDLE folder, HeldWalk *walk);

static void RemoveHeldEntry(HANDLE parent, const ListedEntry &entry, void *context)
{
    HeldWalk *walk = (HeldWalk *)context;
    EntryKind kind;
    HANDLE handle = OpenHeldEntry(parent, entry, &kind);
    if (handle == NULL)
        return;
    size_t length = walk->length;
    // A name too long to show names its folder instead.
    if (length + 1 + entry.length < MAX_PATH) {
        walk->path[length] = L'\\';
        memcpy(walk->path + length + 1, entry.name, entry.length * sizeof(WCHAR));
        walk->length = length + 1 + entry.length;
        walk->path[walk->length] = 0;
    }
    bool unreached = kind == ENTRY_FOLDER && walk->depth == 0;
    if (kind == ENTRY_FOLDER && !unreached) {
        walk->depth--;
        EmptyHeldFolder(handle, walk);
        walk->depth++;
    }
    DeleteHeldEntry(handle, kind);
    CloseHandle(handle);
    // A folder goes, if at all, when its handle closes; asked by name only
    // to tell the user.
    if (unreached && g_groupLeft != NULL && GetFileAttributesW(walk->path) != INVALID_FILE_ATTRIBUTES)
        NoteGroupFolderLeft(walk->path);
    walk->length = length;
    walk->path[length] = 0;
}

static void EmptyHeldFolder(HANDLE folder, HeldWalk *walk)
{
    if (g_heldFolderHook != NULL)
        g_heldFolderHook(folder);
    ListHeldFolder(folder, RemoveHeldEntry, walk);
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
    // One that cannot be held stays untouched, and is named.
    HANDLE group = HoldFolder(path, true);
    if (group == NULL) {
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            RemoveDirectoryW(path);
        else if (g_groupLeft != NULL)
            NoteGroupFolderLeft(path);
        return;
    }
    HeldWalk walk;
    walk.depth = GROUP_DEPTH - 1;
    walk.length = wcslen(path);
    memcpy(walk.path, path, (walk.length + 1) * sizeof(WCHAR));
    EmptyHeldFolder(group, &walk);
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
            RemoveGroupEntry(path, strlen(path), attributes, GROUP_DEPTH);
    }
}

void RemoveShortcuts(HeldFiles *left)
{
    g_groupLeft = left;
    if (g_osVersion.dwPlatformId == PLATFORM_WIN9X)
        RemoveNarrowShortcuts();
    else
        RemoveWideShortcuts();
    g_groupLeft = NULL;
}
