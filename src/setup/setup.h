// Setup: the Setup dialog, the three steps that apply its choices, and the
// Completion dialog.
#ifndef MELVOX_SETUP_H
#define MELVOX_SETUP_H

#include <windows.h>

INT_PTR CALLBACK SetupDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DoneDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

// What OK runs: takes back the pending removals of the install folder,
// applies the three steps in order and tells the shell that the types
// changed hands.
void ApplySetup(HWND hDlg);

void ApplyAssociations(HWND hDlg);
void ApplyShellIntegration(HWND hDlg);
void ApplyShortcuts(HWND hDlg);

// Writes one shell link file. A path that does not fit MAX_PATH (or its
// UTF-16 copy) is refused with E_INVALIDARG and nothing is written. The
// UTF-16 form (the NT family's) writes the same bytes into a new file and
// renames it over the link's name, so whatever was at that name (a link,
// a further name of another file) is replaced and never written through.
HRESULT CreateShellLink(const char *targetPath, const char *linkPath, const char *description);
HRESULT CreateShellLink(const char *targetPath, const WCHAR *linkPath, const char *description);

// A file of the install folder (the current directory in setup mode):
// the folder, a backslash unless it ends in one, and name. False, with an
// empty path, when the folder cannot be read or the result does not fit
// MAX_PATH: whatever would carry the path is then left out.
bool GetInstallPath(const char *name, char *path /* MAX_PATH */);

// The file-system path of a shell special folder, a backslash and name.
// False, with an empty path, when the folder cannot be resolved or the
// result does not fit MAX_PATH; nothing is then to be made or deleted.
bool GetSpecialFolderPath(HWND owner, int csidl, const char *name, char *path /* MAX_PATH */);
// The same in UTF-16, for the NT family: a user's folders may be named in
// letters that the ANSI code page lacks. name is converted from it.
bool GetSpecialFolderPath(HWND owner, int csidl, const char *name, WCHAR *path /* MAX_PATH */);

// folder, a backslash unless folder ends in one, and name converted from
// the ANSI code page; false, with an empty buffer, when it does not fit.
bool JoinPath(WCHAR *buffer, size_t size, const WCHAR *folder, const char *name);

// A reinstall before the restart that an uninstall left files in use for:
// the removals scheduled for the folder and what lies below it are taken
// back, so that the new install survives the restart. Other entries stay
// as they are.
void TakeBackPendingRemovals(const char *folder);

#endif
