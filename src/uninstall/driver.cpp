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

// One state per list entry: gone once its removal succeeded or it does
// not exist (nothing can bring it back during the uninstall, so later
// passes skip it), held while its latest delete was refused because
// another process uses it. Grown as the list is read; when no memory can
// be had the states are dropped and every entry is tried.
enum { ENTRY_TRY = 0, ENTRY_GONE = 1, ENTRY_IN_USE = 2 };

struct EntryStates {
    unsigned char *states;
    size_t size;
    bool usable;
};

static unsigned char GetState(const EntryStates &entries, size_t index)
{
    return entries.usable && index < entries.size ? entries.states[index] : (unsigned char)ENTRY_TRY;
}

static void SetState(EntryStates &entries, size_t index, unsigned char state)
{
    if (!entries.usable)
        return;
    if (index >= entries.size) {
        size_t size = entries.size ? entries.size * 2 : 1024;
        while (size <= index)
            size *= 2;
        unsigned char *grown = (unsigned char *)realloc(entries.states, size);
        if (grown == NULL) {
            free(entries.states);
            entries.states = NULL;
            entries.size = 0;
            entries.usable = false;
            return;
        }
        memset(grown + entries.size, ENTRY_TRY, size - entries.size);
        entries.states = grown;
        entries.size = size;
    }
    entries.states[index] = state;
}

enum EntryOutcome { OUTCOME_STAYS, OUTCOME_IN_USE, OUTCOME_MISSING, OUTCOME_REMOVED };

// Removes one entry that may still exist.
static EntryOutcome RemoveEntry(const char *name)
{
    DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (IsMissing(GetLastError()))
            return OUTCOME_MISSING;
        // Unreadable: clearing may still make the delete possible.
        SetFileAttributesA(name, 0);
    } else if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
        // Read-only, hidden and system names cannot be deleted as they are.
        SetFileAttributesA(name, 0);
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return RemoveDirectoryA(name) ? OUTCOME_REMOVED : OUTCOME_STAYS;
    if (DeleteFileA(name))
        return OUTCOME_REMOVED;
    // A running program's file is refused with access denied, a file held
    // open without delete sharing with a sharing violation.
    DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ? OUTCOME_IN_USE
                                                                           : OUTCOME_STAYS;
}

int RemoveListedFiles(FILE *list, const char *prefix, HeldFiles *held)
{
    EntryStates entries = {NULL, 0, true};
    int passes = 0;
    int inUse;
    for (;;) {
        passes++;
        int removed = 0;
        inUse = 0;
        size_t index = 0;
        char name[MAX_PATH];
        // Each entry counts at most once, so the passes end even when a
        // delete succeeds while the name stays (a file still held open
        // with delete sharing, or one that Wine keeps while it is mapped).
        for (; ReadListEntry(list, prefix, name); index++) {
            if (GetState(entries, index) == ENTRY_GONE)
                continue;
            EntryOutcome outcome = RemoveEntry(name);
            SetState(entries, index, outcome == OUTCOME_IN_USE ? ENTRY_IN_USE
                                     : outcome == OUTCOME_STAYS ? ENTRY_TRY
                                                                : ENTRY_GONE);
            inUse += outcome == OUTCOME_IN_USE;
            // Without the states a name that stays after a successful
            // delete would count in every pass: count it only when gone.
            if (outcome == OUTCOME_REMOVED &&
                (entries.usable || GetFileAttributesA(name) == INVALID_FILE_ATTRIBUTES))
                removed++;
        }
        // A folder listed before its files goes in a later pass, once empty.
        fseek(list, 0, SEEK_SET);
        if (removed == 0)
            break;
    }
    // The last pass tried every entry that stays: the files it found in
    // use are the held ones. Without the states they are found again.
    if (held != NULL && inUse > 0) {
        char name[MAX_PATH];
        for (size_t index = 0; ReadListEntry(list, prefix, name); index++) {
            unsigned char state = GetState(entries, index);
            if (entries.usable ? state == ENTRY_IN_USE : RemoveEntry(name) == OUTCOME_IN_USE)
                AddHeldFile(held, name);
        }
        fseek(list, 0, SEEK_SET);
    }
    free(entries.states);
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
    // The last backslash as a character: a trail byte may be one too.
    char *name = PointToName(folder);
    if (name == folder || name[-1] != '\\')
        return;
    char *cut = name - 1;
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

    // A running Melvox would stay behind after the registry and the list
    // are gone, with nothing left to finish the job: the user closes it
    // first, or stops here with everything as it was.
    char running[MAX_PATH];
    while (FindRunningProgram(list, prefix, programPath, running)) {
        char message[MESSAGE_SIZE];
        FormatOneString(message, sizeof message, LoadText(IDS_PROGRAMRUNNING), running);
        if (MessageBoxA(NULL, message, LoadText(IDS_CAPTION),
                        MB_RETRYCANCEL | MB_ICONEXCLAMATION | MB_SETFOREGROUND) != IDRETRY) {
            fclose(list);
            return;
        }
    }

    // The texts still needed are composed or copied now: the warning for
    // a program file that stays, and the word on files in use. The
    // language module usually sits in the install folder and is listed:
    // while it is loaded it cannot be deleted, and the folder could not go.
    WarningText warning;
    ComposeWarningText(&warning);
    char atRestart[MESSAGE_SIZE], byHand[MESSAGE_SIZE];
    CopyText(atRestart, sizeof atRestart, LoadText(IDS_INUSERESTART));
    CopyText(byHand, sizeof byHand, LoadText(IDS_INUSEBYHAND));
    ReleaseLanguageModule();
    CleanUpRegistry();
    RemoveShortcuts();
    DeleteHelpIndex("melvox.gid");
    DeleteHelpIndex("melvox.fts");
    char listPath[MAX_PATH];
    HeldFiles held;
    ZeroMemory(&held, sizeof held);
    held.exempt[0] = programPath;
    if (JoinPath(listPath, sizeof listPath, folder, LIST_FILE_NAME))
        held.exempt[1] = listPath;
    RemoveListedFiles(list, prefix, &held);
    if (held.count + held.lost > 0) {
        // What another process holds goes at the next restart; the user
        // hears which file, and what to do where it cannot be scheduled.
        bool scheduled = ScheduleHeldFiles(list, prefix, folder, &held);
        char message[MESSAGE_SIZE];
        FormatOneString(message, sizeof message, scheduled ? atRestart : byHand,
                        held.count > 0 ? held.names : "");
        MessageBoxA(NULL, message, warning.caption,
                    MB_OK | (scheduled ? MB_ICONINFORMATION : MB_ICONEXCLAMATION) | MB_SETFOREGROUND);
    }
    FreeHeldFiles(&held);
    fclose(list);
    DeleteFileA(LIST_FILE_NAME);

    // Without a script nothing removes the program file: the user is told.
    CleanupScript script;
    if (!WriteCleanupScript(programPath, &script)) {
        ShowWarningText(&warning);
        return;
    }
    StartCleanupScript(&script, &warning);
}
