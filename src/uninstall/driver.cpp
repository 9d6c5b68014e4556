#include "uninstall.h"

#include <stdlib.h>
#include <string.h>

#include "../app/app.h"
#include "../resources/resource.h"
#include "listfile.h"

// Whether the name is missing: its folder or the name itself is not there.
static bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// One flag per list entry, set once the entry's name is gone: its removal
// succeeded or it does not exist. Nothing can bring it back during the
// uninstall, so later passes skip it. Grown as the list is read; when no
// memory can be had the flags are dropped and every entry is tried.
struct GoneFlags {
    unsigned char *flags;
    size_t size;
    bool usable;
};

static bool IsGone(const GoneFlags &gone, size_t index)
{
    return gone.usable && index < gone.size && gone.flags[index];
}

static void SetGone(GoneFlags &gone, size_t index)
{
    if (!gone.usable)
        return;
    if (index >= gone.size) {
        size_t size = gone.size ? gone.size * 2 : 1024;
        while (size <= index)
            size *= 2;
        unsigned char *grown = (unsigned char *)realloc(gone.flags, size);
        if (grown == NULL) {
            free(gone.flags);
            gone.flags = NULL;
            gone.size = 0;
            gone.usable = false;
            return;
        }
        memset(grown + gone.size, 0, size - gone.size);
        gone.flags = grown;
        gone.size = size;
    }
    gone.flags[index] = 1;
}

enum EntryOutcome { ENTRY_STAYS, ENTRY_MISSING, ENTRY_REMOVED };

// Removes one entry that may still exist.
static EntryOutcome RemoveEntry(const char *name)
{
    DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (IsMissing(GetLastError()))
            return ENTRY_MISSING;
        // Unreadable: clearing may still make the delete possible.
        SetFileAttributesA(name, 0);
    } else if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
        // Read-only, hidden and system names cannot be deleted as they are.
        SetFileAttributesA(name, 0);
    }
    BOOL done;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        done = RemoveDirectoryA(name);
    else
        done = DeleteFileA(name);
    return done ? ENTRY_REMOVED : ENTRY_STAYS;
}

int RemoveListedFiles(FILE *list, const char *prefix)
{
    GoneFlags gone = {NULL, 0, true};
    int passes = 0;
    for (;;) {
        passes++;
        int removed = 0;
        size_t index = 0;
        char name[MAX_PATH];
        // Each entry counts at most once, so the passes end even when a
        // delete succeeds while the name stays (a file still held open
        // with delete sharing, or one that Wine keeps while it is mapped).
        for (; ReadListEntry(list, prefix, name); index++) {
            if (IsGone(gone, index))
                continue;
            EntryOutcome outcome = RemoveEntry(name);
            if (outcome != ENTRY_STAYS)
                SetGone(gone, index);
            // Without the flags a name that stays after a successful
            // delete would count in every pass: count it only when gone.
            if (outcome == ENTRY_REMOVED &&
                (gone.usable || GetFileAttributesA(name) == INVALID_FILE_ATTRIBUTES))
                removed++;
        }
        // A folder listed before its files goes in a later pass, once empty.
        if (removed == 0)
            break;
        fseek(list, 0, SEEK_SET);
    }
    free(gone.flags);
    return passes;
}

static void DeleteHelpIndex(const char *name)
{
    SetFileAttributesA(name, 0);
    DeleteFileA(name);
}

void RunUninstall()
{
    char programPath[MAX_PATH];
    if (!GetProgramPath(programPath))
        return;
    if (!CheckFolderNames(false))
        return;
    char folder[MAX_PATH];
    CopyText(folder, sizeof folder, programPath);
    char *cut = strrchr(folder, '\\');
    if (cut == NULL)
        return;
    // A drive root keeps its backslash: "C:\" names the root, "C:" does not.
    if (cut != folder && cut[-1] == ':')
        cut[1] = '\0';
    else
        cut[0] = '\0';

    // The list and the help-index files are taken by bare name from here;
    // in any other folder they would be somebody else's files.
    if (!SetCurrentDirectoryA(folder))
        return;
    char prefix[MAX_PATH];
    if (!JoinPath(prefix, sizeof prefix, folder, ""))
        return;

    if (MessageBoxA(NULL, LoadText(IDS_CONFIRM), LoadText(IDS_CAPTION),
                    MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES)
        return;

    FILE *list = fopen(LIST_FILE_NAME, "rb");
    if (list == NULL) {
        // The format text may come from a language module.
        char message[MESSAGE_SIZE];
        FormatOneString(message, sizeof message, LoadText(IDS_NOLIST), LIST_FILE_NAME);
        MessageBoxA(NULL, message, LoadText(IDS_CAPTION), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
        return;
    }

    // The only text still needed is the warning for a program file that
    // stays; it is composed now. The language module usually sits in the
    // install folder and is listed: while it is loaded it cannot be
    // deleted, and the folder could not go.
    WarningText warning;
    ComposeWarningText(&warning);
    ReleaseLanguageModule();
    RestoreAssociations();
    RemoveRegistryKeys();
    RemoveShortcuts();
    DeleteHelpIndex("melvox.gid");
    DeleteHelpIndex("melvox.fts");
    RemoveListedFiles(list, prefix);
    fclose(list);
    DeleteFileA(LIST_FILE_NAME);

    // Without a script nothing removes the program file: the user is told.
    char scriptPath[MAX_PATH];
    if (!WriteCleanupScript(programPath, scriptPath)) {
        ShowWarningText(&warning);
        return;
    }
    StartCleanupScript(scriptPath, &warning);
}
