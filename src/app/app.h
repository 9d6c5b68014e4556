// Start-up and modes: the application state that every part of the program
// shares, the localised texts and the process helper.
#ifndef MELVOX_APP_H
#define MELVOX_APP_H

#include <windows.h>

#include "text.h"

// Application state. Filled at start-up; plain variables, one GUI thread.
extern HINSTANCE g_hProgram;          // the program's own module
extern HINSTANCE g_hResources;        // language module, or g_hProgram
extern BOOL g_bLanguageModule;        // the language module must be freed
extern OSVERSIONINFOA g_osVersion;    // platform id and major version
extern HICON g_hDialogIcon;           // "MVXICON", big icon of both dialogs
extern HFONT g_hBoldFont;             // closing line of the Completion dialog
extern char g_szProgramGroup[MAX_PATH]; // program group made in this run,
extern WCHAR g_wszProgramGroup[MAX_PATH]; // by ANSI (95 family) or UTF-16 name

enum { PLATFORM_WIN9X = 1 };          // VER_PLATFORM_WIN32_WINDOWS

#define LANGUAGE_MODULE_NAME "mvxlng.dll"

// The whole run: start-up, the mode chosen by the command-line tail,
// clean-up. Returns the exit code, which is always 0.
int AppMain(HINSTANCE hInstance, const char *commandTail);

void StartUp(HINSTANCE hInstance);
void Dispatch(const char *commandTail);
void CleanUp();

// The "delete it manually" message with the program's full path. It is
// composed while the texts can still come from the language module and
// shown later, when the module may be gone.
struct WarningText {
    char message[MESSAGE_SIZE];
    char caption[MESSAGE_SIZE];
};
void ComposeWarningText(WarningText *text);
void ShowWarningText(const WarningText *text);
void ShowWarning();

// The machine-wide lock of setup and uninstall: false when another setup
// or uninstall holds it. Held until ReleaseRunLock or the process ends.
bool TakeRunLock();
void ReleaseRunLock();

// Releases the language module early; later texts come from the program.
void ReleaseLanguageModule();

// A localised text by string-table id, in an eight-slot ring: the result
// stays valid for eight further calls. A missing id gives "", except a
// text after 5108 that a language module lacks: that one comes from the
// program.
const char *LoadText(UINT id);

// Tells the shell that file associations changed, so that it drops what
// it has cached for the types (icons, verbs, handlers).
void NotifyAssociationsChanged();

// Starts a command line (the program is its first token) without waiting.
bool RunCommand(const char *commandLine);

// The program's own full path; false if it does not fit MAX_PATH.
bool GetProgramPath(char *path /* MAX_PATH */);

// The current directory; false if it does not fit MAX_PATH.
bool GetCurrentFolder(char *path /* MAX_PATH */);

// Whether the ANSI functions name the program's folder and, for setup,
// the current folder as they are. When a name uses characters outside the
// system's code page, the user is told and the result is false: nothing
// may then be written or removed.
bool CheckFolderNames(bool setup);

#endif
