// A throwaway Melvox install with canary files all around it, and the real
// uninstall.exe run on it from a second process.
#ifndef MELVOX_FAULT_SUPPORT_H
#define MELVOX_FAULT_SUPPORT_H

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace faults {

// Everything under a folder but one subtree: path -> attributes and bytes.
typedef std::map<std::string, std::string> Snapshot;
Snapshot TakeSnapshot(const std::string &folder, const std::string &skip);
// The paths whose entries differ, for a readable failure.
std::string Differences(const Snapshot &before, const Snapshot &after);

struct Install {
    std::string base;    // holds everything below
    std::string parent;  // base\l1\l2\l3: the uninstaller is started here
    std::string folder;  // parent\Melvox, the install folder
    std::string exe;     // folder\uninstall.exe
    std::string list;    // folder\Uninstall.lst
    Snapshot canaries;   // base without the install folder, and win.ini
    size_t canaryFiles = 0;
};

// Lays out the install: the program copied in, nothing listed yet. Canaries
// stand in each folder that a climbing list entry could reach (x, evil.txt,
// Windows\win.ini), beside the install folder (Melvox2\x), and in the
// folder the program is started from (Uninstall.lst, melvox.gid,
// melvox.fts: what a program that lost its own folder would take).
Install MakeInstall(const std::string &tag);
// True when nothing outside the install folder changed.
bool CanariesUntouched(const Install &install, std::string *report);
void RemoveInstall(const Install &install);

// Writes a file, creating the folders on its way.
bool Plant(const std::string &path, const std::string &bytes = "x");

// The cleanup script's path for a child started now.
std::string ScriptPath();

// Starts the program in install.parent, answers Yes to the confirmation
// and waits for it to end. With warning, the program must show one more
// message box before it ends: its text goes there and it is answered.
// False when no confirmation (or no such box) came or it did not end in
// time.
bool RunUninstall(const Install &install, DWORD milliseconds = 60000, std::string *warning = NULL);
// Waits until the path is gone; false after the timeout.
bool WaitGone(const std::string &path, DWORD milliseconds);
// Waits for the cleanup script to finish (it deletes itself last), in the
// temp folder or in a folder of its own.
bool WaitForScript(DWORD milliseconds = 30000);

// Sets an environment variable for the children of this process, and puts
// the old value back when it goes out of scope.
struct ScopedEnvironment {
    ScopedEnvironment(const char *name, const std::string &value);
    ~ScopedEnvironment();
    std::string name, old;
    bool had;
};

// An open handle, closed when it goes out of scope.
struct Held {
    explicit Held(HANDLE handle) : handle(handle) {}
    ~Held() { Close(); }
    void Close();
    HANDLE handle;
};
// The file opened for reading, sharing nothing: it can be neither deleted
// nor written while held.
HANDLE HoldWithoutSharing(const std::string &path);

} // namespace faults

#endif
