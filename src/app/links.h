// How an entry met in a user's folder or in the install folder is treated,
// from what its name (or a folder's listing) says and what a handle opened
// on it without following a link reports. Nothing here needs Win32, so the
// native build tests the decision with attributes that Wine cannot make.
#ifndef MELVOX_LINKS_H
#define MELVOX_LINKS_H

enum {
    ENTRY_ATTRIBUTE_READONLY = 0x1,
    ENTRY_ATTRIBUTE_DIRECTORY = 0x10,
    ENTRY_ATTRIBUTE_REPARSE_POINT = 0x400,
    ENTRY_ATTRIBUTES_UNKNOWN = 0xFFFFFFFFu
};

enum EntryKind {
    ENTRY_FOLDER,      // a folder of its own: entered
    ENTRY_FILE,        // a file with one name: its attributes may be cleared
    ENTRY_SHARED_FILE, // a file with further names: its attributes are theirs too
    ENTRY_LINK,        // a link: removed as a link, never entered or changed
};

// named: the attributes by name or listing; held: those by handle, with
// the handle's count of names. Unknown attributes count as a link: what
// cannot be read is not entered and not changed.
EntryKind JudgeEntry(unsigned long named, unsigned long held, unsigned long links);

#endif
