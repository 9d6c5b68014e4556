#include "uninstall.h"

#include <shlobj.h>
#include <string.h>

#include <type_traits>

#include "../app/app.h"
#include "../app/file_calls.h"
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

template <typename Char>
static void RemoveShortcutsNamedIn()
{
    // A folder that cannot be resolved gives no path, and nothing is
    // deleted for it.
    Char path[MAX_PATH];
    const int linkFolders[] = {CSIDL_DESKTOPDIRECTORY, CSIDL_STARTMENU};
    for (int csidl : linkFolders)
        if (GetSpecialFolderPath(NULL, csidl, "Melvox.lnk", path))
            DeleteOne(path);
    if (GetSpecialFolderPath(NULL, CSIDL_PROGRAMS, "Melvox", path)) {
        DWORD attributes = Attributes(path);
        size_t length = 0;
        while (path[length] != 0)
            length++;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            RemoveGroupEntry(path, length, attributes, GROUP_DEPTH);
    }
}

void RemoveShortcuts(HeldFiles *left)
{
    g_groupLeft = left;
    if (g_osVersion.dwPlatformId == PLATFORM_WIN9X)
        RemoveShortcutsNamedIn<char>();
    else
        RemoveShortcutsNamedIn<WCHAR>();
    g_groupLeft = NULL;
}
