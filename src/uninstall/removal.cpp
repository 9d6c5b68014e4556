// The list-driven removal of the installed files.
#include "uninstall.h"

#include <stdlib.h>
#include <string.h>

#include "listfile.h"

// One state per list entry: gone once its removal succeeded or it does
// not exist (nothing can bring it back during the uninstall, so later
// passes skip it), held while its latest delete was refused because
// another process uses it, refused while the system refuses it for any
// other reason than a folder's content, beyond a link when a folder of it
// below the install folder is a link (never tried). Grown as the list is
// read; when no memory can be had the states are dropped and every entry
// is tried.
enum { ENTRY_TRY = 0, ENTRY_GONE = 1, ENTRY_IN_USE = 2, ENTRY_REFUSED = 3, ENTRY_BEYOND_LINK = 4 };

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
    size_t size = entries.size;
    if (!GrowBlock((void **)&entries.states, &entries.size, index + 1, 1)) {
        free(entries.states);
        entries.states = NULL;
        entries.size = 0;
        entries.usable = false;
        return;
    }
    memset(entries.states + size, ENTRY_TRY, entries.size - size);
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

// False, with nothing kept, when there is no memory for it.
static bool KeepFolder(PassFolders *folders, const char *name, size_t index)
{
    size_t length = strlen(name) + 1;
    if (!GrowBlock((void **)&folders->names, &folders->size, folders->used + length, 1) ||
        !GrowBlock((void **)&folders->records, &folders->capacity, folders->count + 1, sizeof(FolderRecord)))
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

// Whether a folder holds nothing; false where that cannot be told.
static bool IsEmptyFolder(const char *folder)
{
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA found;
    if (!JoinPath(pattern, sizeof pattern, folder, "*"))
        return false;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool empty = true;
    do {
        empty = strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0;
    } while (empty && FindNextFileA(search, &found));
    FindClose(search);
    return empty;
}

enum EntryOutcome {
    OUTCOME_STAYS, OUTCOME_IN_USE, OUTCOME_REFUSED, OUTCOME_MISSING, OUTCOME_REMOVED, OUTCOME_FOLDER
};

// Removes one list entry, as a folder or as a file. Most entries go at the
// first call, so only a refusal asks why: a missing name, a folder met as a
// file (given back to the caller), or read-only, hidden and system names,
// which cannot be deleted as they are and are tried once more with their
// attributes cleared, unless they are links: those would clear what they
// point at.
static EntryOutcome RemoveListedEntry(const char *name, bool folder)
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
    // A folder with something in it stays by design; it empties, or not.
    // The system may give another reason first, as for a process's current
    // folder (the install folder itself, listed as "." or "\").
    if (isFolder)
        return error == ERROR_DIR_NOT_EMPTY || !IsEmptyFolder(name) ? OUTCOME_STAYS : OUTCOME_REFUSED;
    // A file held open without delete sharing is refused with a sharing
    // violation, a running program's file with access denied, and so is a
    // file whose rights forbid it: only the first two are held.
    if (error == ERROR_SHARING_VIOLATION || (error == ERROR_ACCESS_DENIED && IsFileInUse(name)))
        return OUTCOME_IN_USE;
    return OUTCOME_REFUSED;
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

static void StartLinkCheck(LinkCheck *check, const char *prefix)
{
    check->prefixLength = strlen(prefix);
    check->clean[0] = check->link[0] = '\0';
}

static bool BelowLink(LinkCheck *check, const char *name)
{
    if (check->link[0] != '\0' && EntryHolds(check->link, name))
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

// What one pass achieved and what its last entries were left at.
struct PassCounts {
    int removed, inUse, refused;
    unsigned skipped;
};

// Records an entry's outcome and counts it.
static void Settle(EntryStates &entries, size_t index, EntryOutcome outcome, const char *name,
                   PassCounts *counts)
{
    SetState(entries, index, outcome == OUTCOME_IN_USE    ? ENTRY_IN_USE
                             : outcome == OUTCOME_REFUSED ? ENTRY_REFUSED
                             : outcome == OUTCOME_STAYS   ? ENTRY_TRY
                                                          : ENTRY_GONE);
    counts->inUse += outcome == OUTCOME_IN_USE;
    counts->refused += outcome == OUTCOME_REFUSED;
    // Each entry counts at most once, so the passes end even when a delete
    // succeeds while the name stays (a file still held open with delete
    // sharing, or one that Wine keeps while it is mapped). Without the
    // states such a name would count in every pass: count it only when gone.
    counts->removed += outcome == OUTCOME_REMOVED &&
                       (entries.usable || GetFileAttributesA(name) == INVALID_FILE_ATTRIBUTES);
}

// One pass over the list: the files as they come, the folders kept for the
// end and removed deepest first.
static PassCounts RunPass(FILE *list, const char *prefix, EntryStates &entries, PassFolders *folders)
{
    PassCounts counts = {0, 0, 0, 0};
    folders->used = folders->count = 0;
    LinkCheck links;
    StartLinkCheck(&links, prefix);
    // The entries before and after the one tried: an entry with one of
    // them inside it is a folder, kept for later without a call.
    char ring[3][MAX_PATH];
    char *previous = ring[0], *name = ring[1], *next = ring[2];
    previous[0] = '\0';
    bool more = ReadListEntry(list, prefix, name, &counts.skipped);
    for (size_t index = 0; more; index++) {
        more = ReadListEntry(list, prefix, next, &counts.skipped);
        if (!more)
            next[0] = '\0';
        unsigned char state = GetState(entries, index);
        if (state == ENTRY_BEYOND_LINK || (state != ENTRY_GONE && BelowLink(&links, name))) {
            SetState(entries, index, ENTRY_BEYOND_LINK);
            counts.refused++;
        } else if (state != ENTRY_GONE) {
            bool folder = EntryHolds(name, previous) || EntryHolds(name, next);
            EntryOutcome outcome = folder ? OUTCOME_FOLDER : RemoveListedEntry(name, false);
            // Without memory to keep it, a folder is tried in list
            // order; one listed before its files goes in a later pass.
            if (outcome != OUTCOME_FOLDER || !KeepFolder(folders, name, index)) {
                if (outcome == OUTCOME_FOLDER)
                    outcome = RemoveListedEntry(name, true);
                Settle(entries, index, outcome, name, &counts);
            }
        }
        char *done = previous;
        previous = name;
        name = next;
        next = done;
    }
    qsort(folders->records, folders->count, sizeof(FolderRecord), DeepestFirst);
    for (size_t i = 0; i < folders->count; i++) {
        const char *folder = folders->names + folders->records[i].name;
        Settle(entries, folders->records[i].index, RemoveListedEntry(folder, true), folder, &counts);
    }
    fseek(list, 0, SEEK_SET);
    return counts;
}

// Names a skipped line by its number.
static void AddSkippedLine(HeldFiles *left, unsigned line)
{
    char number[16], text[MAX_PATH];
    if (left->lineFormat != NULL && FormatText(number, sizeof number, "%u", line) &&
        FormatOneString(text, sizeof text, left->lineFormat, number))
        AddHeldFile(left, text);
}

// The last pass tried every entry that stays: the files it found in use
// are the held ones, the entries it found refused or beyond a link and the
// lines it skipped are left. Without the states the entries are tried once more.
static void NoteWhatStays(FILE *list, const char *prefix, const EntryStates &entries, HeldFiles *held,
                          HeldFiles *left)
{
    char name[MAX_PATH];
    unsigned line = 0;
    size_t index = 0;
    LinkCheck links;
    StartLinkCheck(&links, prefix);
    for (ListLine read; (read = ReadListLine(list, prefix, name)) != LINE_END;) {
        line++;
        if (read != LINE_ENTRY) {
            if (read != LINE_EMPTY && left != NULL)
                AddSkippedLine(left, line);
            continue;
        }
        unsigned char state = GetState(entries, index++);
        if (!entries.usable && BelowLink(&links, name)) {
            state = ENTRY_BEYOND_LINK;
        } else if (!entries.usable) {
            EntryOutcome outcome = RemoveListedEntry(name, false);
            if (outcome == OUTCOME_FOLDER)
                outcome = RemoveListedEntry(name, true);
            state = outcome == OUTCOME_IN_USE    ? ENTRY_IN_USE
                    : outcome == OUTCOME_REFUSED ? ENTRY_REFUSED
                                                 : ENTRY_TRY;
        }
        HeldFiles *into = state == ENTRY_IN_USE                                  ? held
                          : state == ENTRY_REFUSED || state == ENTRY_BEYOND_LINK ? left
                                                                                 : NULL;
        if (into != NULL)
            AddHeldFile(into, name);
    }
    fseek(list, 0, SEEK_SET);
}

int RemoveListedFiles(FILE *list, const char *prefix, HeldFiles *held, HeldFiles *left)
{
    EntryStates entries = {NULL, 0, true};
    PassFolders folders;
    ZeroMemory(&folders, sizeof folders);
    int passes = 0;
    PassCounts last;
    // A later pass still catches what only then can go: a folder named so
    // that it seemed less deep than what it holds, or a file that came free.
    do {
        passes++;
        last = RunPass(list, prefix, entries, &folders);
    } while (last.removed > 0);
    if ((held != NULL && last.inUse > 0) || (left != NULL && last.refused + last.skipped > 0))
        NoteWhatStays(list, prefix, entries, held, left);
    free(folders.names);
    free(folders.records);
    free(entries.states);
    return passes;
}
