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
// batch file expands variables even inside quotes. Returns the length of
// the text, or 0 (with an empty buffer) when it does not fit.
size_t ComposeCleanupScript(char *buffer, size_t size, int platformId,
                            const char *programPath, const char *folder,
                            const char *scriptPath);

#endif
