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

// Full names, in list order, each ending in NUL: of listed files that stay
// because another process uses them (the held files), or of what stays for
// any other reason (left). lost counts those that could not be kept for
// want of memory. The exempt names (set by the caller, or NULL) never
// count: this program, which the cleanup script removes, and the list,
// which is open until it is deleted. lineFormat, when set, names a list
// line that was skipped, with its number in place of its "%s".
struct HeldFiles {
    const char *exempt[2];
    const char *lineFormat;
    char *names;
    size_t used;
    size_t size;
    int count;
    int lost;
};
// Adds a copy of name; one that cannot be kept for want of memory is
// counted lost, an exempt one is left out.
void AddHeldFile(HeldFiles *held, const char *name);
void FreeHeldFiles(HeldFiles *held);

// Removes every entry of the open list, in passes until one removes
// nothing, and leaves the list at its start. Returns the number of passes,
// the last (empty) one included. held, when given, receives the files the
// last pass found in use; left the entries it found refused, those with a
// link (a reparse point) among their folders below the install folder,
// which stay untouched, and the lines it skipped.
int RemoveListedFiles(FILE *list, const char *prefix, HeldFiles *held = NULL, HeldFiles *left = NULL);

// Whether another process uses the file: it cannot be opened for writing
// with no sharing (a running program's file still opens for reading).
bool IsFileInUse(const char *name);

// The first listed program file (.exe) that exists and that some process
// runs, other than this program itself; false when there is none. Leaves
// the list at its start.
bool FindRunningProgram(FILE *list, const char *prefix, const char *programPath,
                        char *name /* MAX_PATH */);

// Schedules the held files for removal at the next restart, then every
// listed folder that holds one of them, deepest first, and last the
// install folder. True when every held file was scheduled; false on the
// Windows 95 family, which has no such schedule.
bool ScheduleHeldFiles(FILE *list, const char *prefix, const char *folder, const HeldFiles *held);

// True when HKEY_CLASSES_ROOT gives the extension to Melvox.
bool IsOwnedByMelvox(const char *extension);
// Gives every extension that Melvox owns back to its saved owner.
void RestoreAssociations();
// Deletes the keys and values that setup wrote.
void RemoveRegistryKeys();
// Both of the above, then the shell is told that the types changed hands.
void CleanUpRegistry();
// Deletes the desktop and start-menu links and the program group. left,
// when given, receives the group's folders that stay because they hold
// entries nested too deep or named too long to be reached.
void RemoveShortcuts(HeldFiles *left = NULL);

struct WarningText;

// The cleanup script: its path and, when it was made for it, the folder
// of its own that holds it ("" for the temp folder, which stays).
struct CleanupScript {
    char path[MAX_PATH];
    char folder[MAX_PATH];
};

// Writes the cleanup script: in a new folder that only administrators can
// change when the run is elevated, else into the temp folder. False, with
// nothing left behind, when it could not be written whole, or when a path
// cannot be written so that the interpreter reads the same name.
bool WriteCleanupScript(const char *programPath, CleanupScript *script);

// Starts the command interpreter on the script and ends the process. When
// no interpreter can be started the script is deleted and the user gets
// the warning, composed beforehand in the language of the run.
void StartCleanupScript(const CleanupScript *script, const WarningText *warning);

// Whether this process runs with an elevated token (Windows Vista and
// later); false where the system cannot say.
bool IsElevated();

// The security descriptor of the script's folder, with the owner and the
// list of entries it points to, all inside the structure.
struct ScriptFolderSecurity {
    SECURITY_DESCRIPTOR descriptor;
    DWORD owner[SECURITY_MAX_SID_SIZE / sizeof(DWORD)];
    DWORD acl[64];
};
// Owner Administrators; a protected list giving SYSTEM and Administrators
// full control, handed on to what the folder holds, and nobody else any.
bool BuildScriptFolderSecurity(ScriptFolderSecurity *security);

// Makes a new folder <Windows folder>\Temp\Melvox-<process id>-<n> with
// that descriptor, trying the next n while the name exists, and schedules
// its removal at the next restart in case it is left. False ("" in folder)
// when none could be made.
bool MakeScriptFolder(char *folder /* MAX_PATH */);

#endif
