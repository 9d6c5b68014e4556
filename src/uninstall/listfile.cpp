#include "listfile.h"

#include <stdlib.h>
#include <string.h>

bool IsTraversalEntry(const char *entry)
{
    // Walk the components; one of dots and blanks only, with at least two
    // dots, climbs out of its folder once the system has cut the blanks
    // and the surplus dots from it. By character: the trail byte of a
    // double-byte character ends no component.
    const char *p = entry;
    for (;;) {
        int dots = 0;
        bool onlyDotsAndBlanks = true;
        for (; *p != '\0' && *p != '\\' && *p != '/'; p = NextChar(p)) {
            if (*p == '.')
                dots++;
            else if (*p != ' ')
                onlyDotsAndBlanks = false;
        }
        if (onlyDotsAndBlanks && dots >= 2)
            return true;
        if (*p == '\0')
            return false;
        p++;
    }
}

static bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

int EntryDepth(const char *entry)
{
    int depth = 0;
    for (const char *p = entry; *p != '\0'; p = NextChar(p))
        if (IsSeparator(*p) && p[1] != '\0' && !IsSeparator(p[1]))
            depth++;
    return depth;
}

static char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

bool EntryHolds(const char *folder, const char *name)
{
    bool atSeparator = false;
    while (*folder != '\0') {
        atSeparator = IsSeparator(*folder) && IsSeparator(*name);
        if (atSeparator) {
            while (IsSeparator(*folder))
                folder++;
            while (IsSeparator(*name))
                name++;
            continue;
        }
        // Separators are single bytes, and no trail byte is taken for one.
        // No code page leads with an ASCII byte: the system is asked only
        // for the others, as the removal asks this of every entry twice.
        const char *nextFolder = (unsigned char)*folder < 0x80 ? folder + 1 : NextChar(folder);
        const char *nextName = (unsigned char)*name < 0x80 ? name + (*name != '\0') : NextChar(name);
        if (nextFolder - folder != nextName - name)
            return false;
        if (nextName - name == 1 ? LowerAscii(*folder) != LowerAscii(*name) : memcmp(folder, name, 2) != 0)
            return false;
        folder = nextFolder;
        name = nextName;
    }
    if (!atSeparator) {
        if (!IsSeparator(*name))
            return false;
        while (IsSeparator(*name))
            name++;
    }
    return *name != '\0';
}

bool GrowBlock(void **block, size_t *capacity, size_t needed, size_t unit)
{
    if (needed <= *capacity)
        return true;
    size_t grown = *capacity ? *capacity * 2 : 256;
    while (grown < needed)
        grown *= 2;
    void *moved = realloc(*block, grown * unit);
    if (moved == NULL)
        return false;
    *block = moved;
    *capacity = grown;
    return true;
}

// Reads one line of the list into line. The LF is consumed, not stored.
// Returns 0 at the end of the list or on a read error, 1 for a line that
// fits, -1 for a line to be skipped whole: one longer than the line buffer,
// or one holding a NUL byte (no file name has one, and the name before it
// would name some other file).
static int ReadLine(FILE *list, char *line)
{
    size_t length = 0;
    bool fits = true;
    int c;
    while ((c = getc(list)) != EOF) {
        if (c == '\n')
            return fits ? 1 : -1;
        if (c == '\0')
            fits = false;
        // The line buffer holds LIST_LINE_SIZE - 1 characters with the LF.
        if (length + 2 > LIST_LINE_SIZE)
            fits = false;
        if (fits)
            line[length] = (char)c;
        length++;
        line[fits ? length : 0] = '\0';
    }
    if (ferror(list) || length == 0)
        return 0;
    return fits ? 1 : -1;
}

ListLine ReadListLine(FILE *list, const char *prefix, char *fullName)
{
    char line[LIST_LINE_SIZE];
    line[0] = '\0';
    int read = ReadLine(list, line);
    if (read == 0)
        return LINE_END;
    if (read < 0)
        return LINE_UNREADABLE;
    TrimTrailing(line);
    if (line[0] == '\0')
        return LINE_EMPTY;
    if (IsTraversalEntry(line) || !CopyText(fullName, MAX_PATH, prefix) ||
        !AppendText(fullName, MAX_PATH, line))
        return LINE_REFUSED;
    return LINE_ENTRY;
}

bool ReadListEntry(FILE *list, const char *prefix, char *fullName, unsigned *skipped)
{
    for (;;) {
        ListLine read = ReadListLine(list, prefix, fullName);
        if (read == LINE_END || read == LINE_ENTRY)
            return read == LINE_ENTRY;
        if (skipped != NULL && read != LINE_EMPTY)
            (*skipped)++;
    }
}
