// The text of the self-removal script. Nothing here needs Win32, so the
// same source also builds natively for sanitizer and fuzz runs.
#ifndef MELVOX_SCRIPT_TEXT_H
#define MELVOX_SCRIPT_TEXT_H

#include <stddef.h>

enum { SCRIPT_TEXT_SIZE = 16384 };

#define CLEANUP_SCRIPT_NAME "Uninstall.Mvx.Bat"

// Composes the script from the program path, the install folder and the
// script path, which the caller has already converted to the code page of
// the command interpreter. Every '%' of a path is written as "%%", since a
// batch file expands variables even inside quotes. A script in a folder of
// its own (scriptFolder, else NULL) removes that folder on its last line,
// right after deleting itself: the interpreter reads no line after that.
// Returns the length of the text, or 0 (with an empty buffer, untouched
// when size is 0) when it does not fit.
size_t ComposeCleanupScript(char *buffer, size_t size, int platformId,
                            const char *programPath, const char *folder,
                            const char *scriptPath, const char *scriptFolder = NULL);

// The interpreter's command line for the script; false (an empty buffer)
// when it does not fit. The NT family gets "<interpreter>" /d /v:off /s
// /c ""<script>"": /s takes off only the outer quotes, so '&', '(' or '^'
// in a path stay part of it, /d keeps AutoRun commands out, and /v:off
// keeps a '!' in a path literal where the registry turns delayed
// expansion on. COMMAND.COM of the Windows 95 family knows none of them:
// <interpreter> /c "<script>".
bool ComposeInterpreterCommand(char *command, size_t size, int platformId,
                               const char *interpreter, const char *scriptPath);

// Whether an ANSI path must be converted before the interpreter reads it
// in the OEM code page: not when it is plain ASCII, which every OEM code
// page keeps, nor when both code pages are the same.
bool NeedsOemConversion(const char *path, unsigned ansiCodePage, unsigned oemCodePage);

// Whether the OEM form of a path, read back into UTF-16, gives the
// original: a best fit ("Ø" read back as "O") or a default character does
// not.
bool IsExactConversion(const wchar_t *original, const wchar_t *readBack);

#endif
