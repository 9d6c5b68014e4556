// Path and text helpers on plain narrow buffers. Nothing here needs Win32
// but the system's lead-byte rule, so the same source also builds natively
// for sanitizer and fuzz runs.
//
// Narrow texts are in the ANSI code page, which may be double-byte (932,
// 936, 949, 950): a lead byte and the byte after it are one character,
// and that second byte may be '\', '|' or a letter. Every helper here
// that looks for a separator, an end or a letter's case steps by
// character, and a text that is cut never ends in half a character.
#ifndef MELVOX_TEXT_H
#define MELVOX_TEXT_H

#include <stddef.h>

#ifndef MAX_PATH
#define MAX_PATH 260
#endif

enum { MESSAGE_SIZE = 512 };

// Whether a byte opens a two-byte character. The Windows build asks the
// system (IsDBCSLeadByte, for the code page of the run); the native build
// knows none until a caller sets a rule. NULL: one byte, one character.
typedef bool (*LeadByteRule)(unsigned char byte);
void SetLeadByteRule(LeadByteRule rule);

// The character after the one at p; p itself at the terminating NUL. A
// lead byte takes the next byte only when that can be a trail byte (0x40
// and up in every double-byte code page), so a broken pair never hides a
// NUL, '.', '/' or blank.
const char *NextChar(const char *p);
char *NextChar(char *p);

// Whether the last character of path is a backslash.
bool EndsInBackslash(const char *path);

// Cuts a lead byte that ends the text without its trail byte.
void TrimBrokenCharacter(char *text);

// Appends '\' unless the path already ends in one. The caller guarantees
// room for one more character.
void AddBackslash(char *path);

// The file-name part of a path: after the last '\', '/' or ':'.
char *PointToName(char *path);
const char *PointToName(const char *path);

// Removes trailing characters with codes 1 to 32 and 127. Codes 128 to 255
// stay, whatever the signedness of char.
void TrimTrailing(char *text);

// Bounded composition. Each returns false when the result did not fit; the
// buffer then holds as many whole characters as fitted, always
// NUL-terminated.
bool FormatText(char *buffer, size_t size, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
bool CopyText(char *buffer, size_t size, const char *text);
bool AppendText(char *buffer, size_t size, const char *text);

// folder, a backslash unless folder already ends in one, then name.
bool JoinPath(char *buffer, size_t size, const char *folder, const char *name);

// Replaces the file-name part of the path in buffer by name.
bool ReplaceName(char *buffer, size_t size, const char *name);

// Substitutes argument for the first "%s" of a format string that comes
// from a translation. "%%" becomes "%"; any other '%' is copied as it
// stands, so a faulty translation cannot make printf read missing
// arguments.
bool FormatOneString(char *buffer, size_t size, const char *format, const char *argument);

// The warning message: first line, line feed, then the second text with
// the program path in place of its "%s". Cut at the buffer's end.
void ComposeWarning(char *buffer, size_t size, const char *completed,
                    const char *deleteFormat, const char *programPath);

// Case-insensitive comparison of ASCII letters only; the bytes of a
// double-byte character are compared as they are.
bool EqualsIgnoringCase(const char *a, const char *b);
// Whether text begins with prefix, compared in the same way.
bool StartsWithIgnoringCase(const char *text, const char *prefix);

#endif
