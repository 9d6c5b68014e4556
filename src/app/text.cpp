#include "text.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

void AddBackslash(char *path)
{
    size_t n = strlen(path);
    if (n == 0 || path[n - 1] != '\\') {
        path[n] = '\\';
        path[n + 1] = '\0';
    }
}

const char *PointToName(const char *path)
{
    const char *name = path;
    for (const char *p = path; *p; p++) {
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    }
    return name;
}

char *PointToName(char *path)
{
    return const_cast<char *>(PointToName(static_cast<const char *>(path)));
}

void TrimTrailing(char *text)
{
    // Compare as unsigned: plain char is signed here, and codes 128 to 255
    // (a no-break space, letters of the code page) must never be removed.
    for (ptrdiff_t i = (ptrdiff_t)strlen(text) - 1; i >= 0; i--) {
        unsigned char c = (unsigned char)text[i];
        if (c > 32 && c != 127)
            break;
        text[i] = '\0';
    }
}

bool FormatText(char *buffer, size_t size, const char *format, ...)
{
    if (size == 0)
        return false;
    va_list args;
    va_start(args, format);
#ifdef _WIN32
    // The C runtime's own formatter keeps the program small; it neither
    // terminates a cut result nor reports the length it wanted.
    int n = _vsnprintf(buffer, size, format, args);
#else
    int n = vsnprintf(buffer, size, format, args);
#endif
    va_end(args);
    buffer[size - 1] = '\0';
    return n >= 0 && (size_t)n < size;
}

bool CopyText(char *buffer, size_t size, const char *text)
{
    if (size == 0)
        return false;
    size_t n = strlen(text);
    bool fits = n < size;
    if (!fits)
        n = size - 1;
    memcpy(buffer, text, n);
    buffer[n] = '\0';
    return fits;
}

bool AppendText(char *buffer, size_t size, const char *text)
{
    size_t used = strnlen(buffer, size);
    if (used >= size)
        return false;
    return CopyText(buffer + used, size - used, text);
}

bool JoinPath(char *buffer, size_t size, const char *folder, const char *name)
{
    if (!CopyText(buffer, size, folder))
        return false;
    // Room for the backslash is checked before AddBackslash runs; a folder
    // that already ends in one needs none.
    size_t n = strlen(buffer);
    if ((n == 0 || buffer[n - 1] != '\\') && n + 1 >= size)
        return false;
    AddBackslash(buffer);
    return AppendText(buffer, size, name);
}

bool ReplaceName(char *buffer, size_t size, const char *name)
{
    char *at = PointToName(buffer);
    return CopyText(at, size - (size_t)(at - buffer), name);
}

bool FormatOneString(char *buffer, size_t size, const char *format, const char *argument)
{
    if (size == 0)
        return false;
    buffer[0] = '\0';
    bool fits = true;
    bool used = false;
    char one[2] = {0, 0};
    for (const char *p = format; *p; p++) {
        if (p[0] == '%' && p[1] == 's' && !used) {
            fits = AppendText(buffer, size, argument) && fits;
            used = true;
            p++;
            continue;
        }
        if (p[0] == '%' && p[1] == '%')
            p++;
        one[0] = *p;
        fits = AppendText(buffer, size, one) && fits;
    }
    return fits;
}

void ComposeWarning(char *buffer, size_t size, const char *completed,
                    const char *deleteFormat, const char *programPath)
{
    if (!FormatText(buffer, size, "%s\n", completed))
        return;
    size_t used = strlen(buffer);
    FormatOneString(buffer + used, size - used, deleteFormat, programPath);
}

bool EqualsIgnoringCase(const char *a, const char *b)
{
    for (;; a++, b++) {
        unsigned char x = (unsigned char)*a, y = (unsigned char)*b;
        if (x >= 'A' && x <= 'Z')
            x = (unsigned char)(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = (unsigned char)(y - 'A' + 'a');
        if (x != y)
            return false;
        if (x == 0)
            return true;
    }
}
