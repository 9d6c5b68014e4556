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

// Reads lines until one yields an entry, and puts the folder prefix joined
// with that entry into fullName (MAX_PATH characters). False at the end of
// the list or on a read error. Skipped whole, never split or cut: empty
// lines, lines longer than the line buffer, lines holding a NUL byte,
// entries that would leave the install folder, and entries whose full name
// does not fit.
bool ReadListEntry(FILE *list, const char *prefix, char *fullName);

// True for an entry with a path component made only of dots and blanks
// with two or more dots ("..", "...", ".. "), with either separator.
bool IsTraversalEntry(const char *entry);

// How deep an entry lies: the separators (either kind) that have a name
// after them, counted by character. "a\\b", "a\\b\\" and "a//b" are 1.
int EntryDepth(const char *entry);

#endif
