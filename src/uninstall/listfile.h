// Reading the uninstall list. Nothing here needs Win32, so the same source
// also builds natively for sanitizer and fuzz runs.
//
// The list holds one path a line, relative to the install folder, in the
// ANSI code page; lines end in LF (a CR before it is trimmed with the
// other trailing white space and control characters).
#ifndef MELVOX_LISTFILE_H
#define MELVOX_LISTFILE_H

#include <stdio.h>

#include "../app/text.h"

enum { LIST_LINE_SIZE = 520 }; // at most 519 characters, LF included

// What one line of the list gave. The unreadable lines are those longer
// than the line buffer or holding a NUL byte; the refused ones those that
// would leave the install folder or whose full name does not fit.
enum ListLine { LINE_END, LINE_ENTRY, LINE_EMPTY, LINE_UNREADABLE, LINE_REFUSED };

// Reads one line and, for LINE_ENTRY, puts the folder prefix joined with
// its entry into fullName (MAX_PATH characters). Such lines are skipped
// whole, never split or cut.
ListLine ReadListLine(FILE *list, const char *prefix, char *fullName);

// Reads lines until one yields an entry; false at the end of the list or
// on a read error. skipped, when given, counts the lines passed over that
// were neither empty nor an entry.
bool ReadListEntry(FILE *list, const char *prefix, char *fullName, unsigned *skipped = NULL);

// True for an entry with a path component made only of dots and blanks
// with two or more dots ("..", "...", ".. "), with either separator.
bool IsTraversalEntry(const char *entry);

// How deep an entry lies: the separators (either kind) that have a name
// after them, counted by character. "a\\b", "a\\b\\" and "a//b" are 1.
int EntryDepth(const char *entry);

// Whether name lies inside folder, as far as their spelling tells: by
// character, either separator, runs of separators as one, a separator
// ending folder allowed, ASCII letters in either case.
bool EntryHolds(const char *folder, const char *name);

// Grows a block of capacity units of unit bytes, by doubling, until it
// holds needed units. False, with the block as it was, without memory.
bool GrowBlock(void **block, size_t *capacity, size_t needed, size_t unit);

#endif
