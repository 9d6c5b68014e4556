#include "text.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>

static bool SystemLeadByte(unsigned char byte)
{
    return IsDBCSLeadByte(byte) != FALSE;
}
static LeadByteRule g_leadByteRule = SystemLeadByte;
#else
static LeadByteRule g_leadByteRule = NULL;
#endif

void SetLeadByteRule(LeadByteRule rule)
{
    g_leadByteRule = rule;
}

const char *NextChar(const char *p)
{
    if (*p == '\0')
        return p;
    if (g_leadByteRule != NULL && (unsigned char)p[1] >= 0x40 && g_leadByteRule((unsigned char)p[0]))
        return p + 2;
    return p + 1;
}

char *NextChar(char *p)
{
    return const_cast<char *>(NextChar(static_cast<const char *>(p)));
}

// The start of the last character, or NULL for an empty text.
static const char *LastChar(const char *text)
{
    const char *last = NULL;
    for (const char *p = text; *p; p = NextChar(p))
        last = p;
    return last;
}

bool EndsInBackslash(const char *path)
{
    const char *last = LastChar(path);
    return last != NULL && *last == '\\';
}

void TrimBrokenCharacter(char *text)
{
    char *last = const_cast<char *>(LastChar(text));
    if (last != NULL && last[1] == '\0' && g_leadByteRule != NULL && g_leadByteRule((unsigned char)*last))
        *last = '\0';
}

void AddBackslash(char *path)
{
    if (!EndsInBackslash(path)) {
        size_t n = strlen(path);
        path[n] = '\\';
        path[n + 1] = '\0';
    }
}

const char *PointToName(const char *path)
{
    const char *name = path;
    for (const char *p = path; *p; p = NextChar(p)) {
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
    // Byte by byte from the end is safe: no trail byte is below 0x40 or 127.
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
    bool fits = n >= 0 && (size_t)n < size;
    if (!fits)
        TrimBrokenCharacter(buffer);
    return fits;
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
    if (!fits)
        TrimBrokenCharacter(buffer);
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
    if (!EndsInBackslash(buffer) && strlen(buffer) + 1 >= size)
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
    bool used = false;
    // One whole character at a time; the first that does not fit ends the
    // text, so that nothing after it slips into the room it left.
    char one[3];
    for (const char *p = format; *p;) {
        if (p[0] == '%' && p[1] == 's' && !used) {
            if (!AppendText(buffer, size, argument))
                return false;
            used = true;
            p += 2;
            continue;
        }
        if (p[0] == '%' && p[1] == '%')
            p++;
        const char *next = NextChar(p);
        memcpy(one, p, (size_t)(next - p));
        one[next - p] = '\0';
        if (!AppendText(buffer, size, one))
            return false;
        p = next;
    }
    return true;
}

void ComposeWarning(char *buffer, size_t size, const char *completed,
                    const char *deleteFormat, const char *programPath)
{
    if (!FormatText(buffer, size, "%s\n", completed))
        return;
    size_t used = strlen(buffer);
    FormatOneString(buffer + used, size - used, deleteFormat, programPath);
}

static unsigned char LowerAscii(char c)
{
    unsigned char x = (unsigned char)c;
    return x >= 'A' && x <= 'Z' ? (unsigned char)(x - 'A' + 'a') : x;
}

// Walks a along b by character; the point in a where b ended, or NULL at
// the first difference. Only single-byte ASCII letters are folded: a trail
// byte that is a letter names another character in another case.
static const char *MatchIgnoringCase(const char *a, const char *b)
{
    while (*b != '\0') {
        const char *nextA = NextChar(a), *nextB = NextChar(b);
        if (nextA - a != nextB - b)
            return NULL;
        if (nextB - b == 1 ? LowerAscii(*a) != LowerAscii(*b) : memcmp(a, b, 2) != 0)
            return NULL;
        a = nextA;
        b = nextB;
    }
    return a;
}

bool EqualsIgnoringCase(const char *a, const char *b)
{
    const char *end = MatchIgnoringCase(a, b);
    return end != NULL && *end == '\0';
}

bool StartsWithIgnoringCase(const char *text, const char *prefix)
{
    return MatchIgnoringCase(text, prefix) != NULL;
}
