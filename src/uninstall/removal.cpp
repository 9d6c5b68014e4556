// The list-driven removal of the installed files.
#include "uninstall.h"

#include <stdlib.h>
#include <string.h>

#include "listfile.h"

// One state per list entry: gone once its removal succeeded or it does
// not exist (nothing can bring it back during the uninstall, so later
// passes skip it), held while its latest delete was refused because
// another process uses it. Grown as the list is read; when no memory can
// be had the states are dropped and every entry is tried.
enum { ENTRY_TRY = 0, ENTRY_GONE = 1, ENTRY_IN_USE = 2, ENTRY_BEYOND_LINK = 3 };

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

// The folders met in a pass, kept to be removed after the files, deepest
// first: then each is empty when its turn comes, whatever the list's order.
struct FolderRecord {
    size_t name;  // offset into the names
    size_t index; // in the list
    int depth;
};

struct PassFolders {
    char *names;
    size_t used, size;
    FolderRecord *records;
    size_t count, capacity;
};

static bool Grow(void **block, size_t *capacity, size_t needed, size_t unit)
{
    if (needed <= *capacity)
        return true;
    size_t capacity2 = *capacity ? *capacity * 2 : 256;
    while (capacity2 < needed)
        capacity2 *= 2;
    void *grown = realloc(*block, capacity2 * unit);
    if (grown == NULL)
        return false;
    *block = grown;
    *capacity = capacity2;
    return true;
}

// False, with nothing kept, when there is no memory for it.
static bool KeepFolder(PassFolders *folders, const char *name, size_t index)
{
    size_t length = strlen(name) + 1;
    if (!Grow((void **)&folders->names, &folders->size, folders->used + length, 1) ||
        !Grow((void **)&folders->records, &folders->capacity, folders->count + 1, sizeof(FolderRecord)))
        return false;
    memcpy(folders->names + folders->used, name, length);
    FolderRecord record = {folders->used, index, EntryDepth(name)};
    folders->records[folders->count++] = record;
    folders->used += length;
    return true;
}

static int DeepestFirst(const void *a, const void *b)
{
    const FolderRecord *x = (const FolderRecord *)a, *y = (const FolderRecord *)b;
    if (x->depth != y->depth)
        return x->depth > y->depth ? -1 : 1;
    return x->index < y->index ? -1 : x->index > y->index;
}

// Whether name lies inside folder, as far as their spelling tells.
static bool Holds(const char *folder, const char *name)
{
    size_t length = strlen(folder);
    // Equal bytes up to the end of folder end on a character there too.
    if (strncmp(folder, name, length) != 0)
        return false;
    // "d\" holds "d\x" as "d" does.
    return name[length] == '\\' || name[length] == '/' || (name[length] != '\0' && EndsInBackslash(folder));
}

enum EntryOutcome { OUTCOME_STAYS, OUTCOME_IN_USE, OUTCOME_MISSING, OUTCOME_REMOVED, OUTCOME_FOLDER };

// Removes one entry, as a folder or as a file. Most entries go at the first
// call, so only a refusal asks why: a missing name, a folder met as a file
// (given back to the caller), or read-only, hidden and system names, which
// cannot be deleted as they are and are tried once more with their
// attributes cleared, unless they are links: those would clear what they
// point at.
static EntryOutcome RemoveEntry(const char *name, bool folder)
{
    if (folder ? RemoveDirectoryA(name) : DeleteFileA(name))
        return OUTCOME_REMOVED;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return OUTCOME_MISSING;
    DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES &&
        (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND))
        return OUTCOME_MISSING;
    bool isFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (isFolder && !folder)
        return OUTCOME_FOLDER;
    // Unreadable attributes: clearing may still make the delete possible.
    bool cleared = attributes == INVALID_FILE_ATTRIBUTES ||
                   (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                    (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)));
    if (cleared)
        SetFileAttributesA(name, 0);
    if (cleared || isFolder != folder) {
        if (isFolder ? RemoveDirectoryA(name) : DeleteFileA(name))
            return OUTCOME_REMOVED;
        error = GetLastError();
    }
    // A running program's file is refused with access denied, a file held
    // open without delete sharing with a sharing violation.
    if (!isFolder && (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED))
        return OUTCOME_IN_USE;
    return OUTCOME_STAYS;
}

// Records an entry's outcome; true when it counts as removed.
static bool Settle(EntryStates &entries, size_t index, EntryOutcome outcome, const char *name, int *inUse)
{
    SetState(entries, index, outcome == OUTCOME_IN_USE ? ENTRY_IN_USE
                             : outcome == OUTCOME_STAYS ? ENTRY_TRY
                                                        : ENTRY_GONE);
    *inUse += outcome == OUTCOME_IN_USE;
    // Each entry counts at most once, so the passes end even when a delete
    // succeeds while the name stays (a file still held open with delete
    // sharing, or one that Wine keeps while it is mapped). Without the
    // states such a name would count in every pass: count it only when gone.
    return outcome == OUTCOME_REMOVED &&
           (entries.usable || GetFileAttributesA(name) == INVALID_FILE_ATTRIBUTES);
}

// Whether a folder of the entry below the install folder is a link (a
// reparse point): a delete there would reach whatever it points at. Asked
// once per folder and pass: consecutive entries share their folders, so
// the deepest folder found free of links on the way to the entries and the
// last link are kept.
struct LinkCheck {
    size_t prefixLength;
    char clean[MAX_PATH];
    char link[MAX_PATH];
};

static bool BelowLink(LinkCheck *check, const char *name)
{
    if (check->link[0] != '\0' && Holds(check->link, name))
        return true;
    char folder[MAX_PATH];
    const char *end = NULL;
    bool asked = false;
    for (const char *p = name + check->prefixLength; *p != '\0'; p = NextChar(p)) {
        // Only a separator with a name after it ends a folder of the entry.
        if ((*p != '\\' && *p != '/') || p[1] == '\0' || p[1] == '\\' || p[1] == '/')
            continue;
        end = p;
        size_t length = (size_t)(p - name);
        if (strncmp(check->clean, name, length) == 0 &&
            (check->clean[length] == '\0' || check->clean[length] == '\\' || check->clean[length] == '/'))
            continue;
        memcpy(folder, name, length);
        folder[length] = '\0';
        asked = true;
        DWORD attributes = GetFileAttributesA(folder);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            memcpy(check->link, folder, length + 1);
            return true;
        }
    }
    // A folder above the one kept is known already: the deeper one stays.
    if (asked) {
        memcpy(check->clean, name, (size_t)(end - name));
        check->clean[end - name] = '\0';
    }
    return false;
}

int RemoveListedFiles(FILE *list, const char *prefix, HeldFiles *held, HeldFiles *beyondLinks)
{
    LinkCheck check;
    check.prefixLength = strlen(prefix);
    EntryStates entries = {NULL, 0, true};
    PassFolders folders;
    ZeroMemory(&folders, sizeof folders);
    int passes = 0;
    int inUse;
    for (;;) {
        passes++;
        int removed = 0;
        inUse = 0;
        folders.used = folders.count = 0;
        check.clean[0] = check.link[0] = '\0';
        // The entries before and after the one tried: an entry with one of
        // them inside it is a folder, kept for later without a call.
        char ring[3][MAX_PATH];
        char *previous = ring[0], *name = ring[1], *next = ring[2];
        previous[0] = '\0';
        bool more = ReadListEntry(list, prefix, name);
        for (size_t index = 0; more; index++) {
            more = ReadListEntry(list, prefix, next);
            if (!more)
                next[0] = '\0';
            unsigned char state = GetState(entries, index);
            if (state == ENTRY_BEYOND_LINK || (state != ENTRY_GONE && BelowLink(&check, name))) {
                SetState(entries, index, ENTRY_BEYOND_LINK);
            } else if (state != ENTRY_GONE) {
                bool folder = Holds(name, previous) || Holds(name, next);
                EntryOutcome outcome = folder ? OUTCOME_FOLDER : RemoveEntry(name, false);
                // Without memory to keep it, a folder is tried in list
                // order; one listed before its files goes in a later pass.
                if (outcome != OUTCOME_FOLDER || !KeepFolder(&folders, name, index)) {
                    if (outcome == OUTCOME_FOLDER)
                        outcome = RemoveEntry(name, true);
                    removed += Settle(entries, index, outcome, name, &inUse);
                }
            }
            char *done = previous;
            previous = name;
            name = next;
            next = done;
        }
        qsort(folders.records, folders.count, sizeof(FolderRecord), DeepestFirst);
        for (size_t i = 0; i < folders.count; i++) {
            const char *folder = folders.names + folders.records[i].name;
            removed += Settle(entries, folders.records[i].index, RemoveEntry(folder, true), folder, &inUse);
        }
        fseek(list, 0, SEEK_SET);
        // A later pass still catches what only then can go: a folder named
        // so that it seemed less deep than what it holds, or a file that
        // came free.
        if (removed == 0)
            break;
    }
    // The last pass tried every entry that stays: the files it found in
    // use are the held ones. Without the states they are found again.
    if (held != NULL && inUse > 0) {
        char name[MAX_PATH];
        check.clean[0] = check.link[0] = '\0';
        for (size_t index = 0; ReadListEntry(list, prefix, name); index++) {
            unsigned char state = GetState(entries, index);
            if (entries.usable ? state == ENTRY_IN_USE
                               : !BelowLink(&check, name) && RemoveEntry(name, false) == OUTCOME_IN_USE)
                AddHeldFile(held, name);
        }
        fseek(list, 0, SEEK_SET);
    }
    // What stays below a link is named to the user; without the states it
    // is found again.
    if (beyondLinks != NULL) {
        char name[MAX_PATH];
        check.clean[0] = check.link[0] = '\0';
        for (size_t index = 0; ReadListEntry(list, prefix, name); index++)
            if (entries.usable ? GetState(entries, index) == ENTRY_BEYOND_LINK : BelowLink(&check, name))
                AddHeldFile(beyondLinks, name);
        fseek(list, 0, SEEK_SET);
    }
    free(folders.names);
    free(folders.records);
    free(entries.states);
    return passes;
}
