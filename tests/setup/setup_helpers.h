// Helpers of the setup tests: the Setup dialog without a modal loop, the
// user's shell folders and shell links read back.
#ifndef MELVOX_SETUP_HELPERS_H
#define MELVOX_SETUP_HELPERS_H

#include <windows.h>

#include <string>

namespace setuptest {

// One of the program's dialogs with its real procedure, created hidden.
HWND CreateHiddenDialog(const char *name, DLGPROC procedure, LPARAM param);
HWND CreateHiddenSetupDialog();

// The check boxes 5101 to 5109: those in checked are set, the rest cleared.
void CheckOnly(HWND dialog, std::initializer_list<int> checked);

// A special folder of the current user (CSIDL), without a trailing backslash.
std::string DesktopLink();
std::string StartMenuLink();
std::string ProgramGroup();
// Removes the desktop and start-menu links and the program group.
void RemoveSetupLinks();

struct LinkInfo {
    std::string target;
    std::string description;
    std::string arguments;
    std::string workingDirectory;
};
bool ReadLink(const std::string &path, LinkInfo *info);
bool ReadLink(const std::wstring &path, LinkInfo *info);

// The current directory, set for the lifetime of the object.
struct CurrentDirectory {
    explicit CurrentDirectory(const std::string &path);
    ~CurrentDirectory();
    char saved[MAX_PATH];
};

} // namespace setuptest

#endif
