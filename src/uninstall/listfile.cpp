#include "listfile.h"

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

int EntryDepth(const char *entry)
{
    int depth = 0;
    for (const char *p = entry; *p != '\0'; p = NextChar(p)) {
        bool separator = *p == '\\' || *p == '/';
        if (separator && p[1] != '\0' && p[1] != '\\' && p[1] != '/')
            depth++;
    }
    return depth;
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

bool ReadListEntry(FILE *list, const char *prefix, char *fullName)
{
    char line[LIST_LINE_SIZE];
    for (;;) {
        line[0] = '\0';
        int read = ReadLine(list, line);
        if (read == 0)
            return false;
        if (read < 0)
            continue;
        TrimTrailing(line);
        if (line[0] == '\0' || IsTraversalEntry(line))
            continue;
        if (CopyText(fullName, MAX_PATH, prefix) && AppendText(fullName, MAX_PATH, line))
            return true;
    }
}
