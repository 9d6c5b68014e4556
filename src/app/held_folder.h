// Folders held by handle on the NT family, and their entries reached only
// from a held parent: a folder held here cannot be renamed, deleted or
// replaced by another program, and nothing below it is named by a full
// path that a link swapped in meanwhile could redirect. The calls that
// Windows NT 4 may lack are taken with GetProcAddress; without them
// nothing is opened.
#ifndef MELVOX_HELD_FOLDER_H
#define MELVOX_HELD_FOLDER_H

#include <windows.h>

#include "links.h"

// The folder at path, opened without following a link and without delete
// sharing; NULL when it is no folder of its own (a link by its name or by
// the handle, a file) or cannot be opened. deleting: the handle may delete
// it; then nothing can be renamed inside it meanwhile either.
HANDLE HoldFolder(const WCHAR *path, bool deleting = false);

// One entry of a listing: its name (not terminated) and attributes.
struct ListedEntry {
    const WCHAR *name;
    size_t length;
    DWORD attributes;
};
// Calls visit for each entry of the held folder but "." and ".."; false
// when it cannot be listed. The entries come from a fixed buffer that is
// read again after each batch.
bool ListHeldFolder(HANDLE folder, void (*visit)(HANDLE folder, const ListedEntry &entry, void *context),
                    void *context);

// The entry opened relative to its held parent without following a link;
// a folder entry (by its listing) is held as HoldFolder holds one. kind
// says what the listing and the handle together make of it. NULL when it
// cannot be opened.
HANDLE OpenHeldEntry(HANDLE parent, const ListedEntry &entry, EntryKind *kind);

// Marks the entry deleted: it goes when its handle is closed. A link goes
// as a link. A read-only file that refuses is made writable by its
// handle first, unless kind says that would change another name's file.
bool DeleteHeldEntry(HANDLE entry, EntryKind kind);

// For tests of the race: called with each folder that the removal of the
// program group enters, once held and before it is listed. With
// g_letGoOfFolders set, folders are opened with delete sharing, as if
// nothing held them.
extern void (*g_heldFolderHook)(HANDLE folder);
extern bool g_letGoOfFolders;

// Whether the calls above are to be had on this system.
bool CanHoldFolders();

// A new file beside path, made with CREATE_NEW so that nothing planted
// there is opened; its name goes into temp (MAX_PATH). NULL when none
// could be made.
HANDLE CreateFreshFile(const WCHAR *path, WCHAR *temp);
// Renames temp over path: a link or a further name of a file at path is
// replaced as a name, and what it pointed at stays as it was. When that
// fails, temp is deleted.
bool RenameOver(const WCHAR *temp, const WCHAR *path);
// Removes the file at path, whatever it looks like, without acting on
// what a link there points at: a fresh empty file is renamed over the
// name and deleted. A name that refuses and is a plain read-only file by
// its handle is made writable by that handle first. True when nothing is
// left at path.
bool RemoveByReplacing(const WCHAR *path);

#endif
