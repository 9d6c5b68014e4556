// Uninstall: the driver, registry cleanup, shortcut removal and the
// self-removal script.
#ifndef MELVOX_UNINSTALL_H
#define MELVOX_UNINSTALL_H

#include <stdio.h>
#include <windows.h>

#define LIST_FILE_NAME "Uninstall.lst"

// The uninstall mode. Returns only when it stops early; otherwise the
// cleanup script ends the process.
void RunUninstall();

// Removes every entry of the open list, in passes until one removes
// nothing. Returns the number of passes, the last (empty) one included.
int RemoveListedFiles(FILE *list, const char *prefix);

// True when HKEY_CLASSES_ROOT gives the extension to Melvox.
bool IsOwnedByMelvox(const char *extension);
// Gives every extension that Melvox owns back to its saved owner.
void RestoreAssociations();
// Deletes the keys and values that setup wrote.
void RemoveRegistryKeys();
// Deletes the desktop and start-menu links and the program group.
void RemoveShortcuts();

struct WarningText;

// Writes the cleanup script into the temp folder; scriptPath (MAX_PATH)
// receives its path. False, with nothing left behind, when it could not be
// written whole, or when a path cannot be written so that the interpreter
// reads the same name.
bool WriteCleanupScript(const char *programPath, char *scriptPath);

// Starts the command interpreter on the script and ends the process. When
// no interpreter can be started the script is deleted and the user gets
// the warning, composed beforehand in the language of the run.
void StartCleanupScript(const char *scriptPath, const WarningText *warning);

#endif
