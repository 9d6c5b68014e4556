// Helpers shared by the test programs: paths of the built program and
// fixtures, processes, windows of another process, files and registry.
#ifndef MELVOX_TESTSUPPORT_H
#define MELVOX_TESTSUPPORT_H

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// Build and source folders as Windows paths.
std::string BuildDir();
std::string SourceDir();
// The built uninstall.exe.
std::string ProgramExe();
// A file built into the build folder (for example "tests/fixtures/...").
std::string BuiltFile(const std::string &relative);

// A fresh, empty folder under C:\melvox-tests; tag may contain spaces.
std::string MakeTempFolder(const std::string &tag);
// The same under the program folder this process sees (CSIDL 38): where an
// installer puts Melvox, "C:\Program Files (x86)" for a 32-bit program on
// 64-bit Windows.
std::string MakeProgramFilesFolder(const std::string &tag);
bool RemoveTree(const std::string &path);
bool WriteFileText(const std::string &path, const std::string &bytes);
bool ReadFileText(const std::string &path, std::string *bytes);
bool FileExists(const std::string &path);
bool FolderExists(const std::string &path);
bool CopyFileTo(const std::string &from, const std::string &to);
std::string Join(const std::string &folder, const std::string &name);

// A wait in milliseconds as long as it must be here: times the factor in
// MELVOX_WAIT_FACTOR (default 1), which a slower machine, such as an
// emulated PC, sets. Every wait below takes it.
DWORD Patience(DWORD milliseconds);

// A started process; Wait returns its exit code, or STILL_ACTIVE on timeout.
struct Process {
    HANDLE handle = NULL;
    DWORD pid = 0;
    bool Start(const std::string &commandLine, const std::string &directory = "");
    DWORD Wait(DWORD milliseconds);
    void Kill();
    ~Process();
};

// Runs exe with arguments in directory and waits for it.
DWORD RunAndWait(const std::string &exe, const std::string &arguments,
                 const std::string &directory, DWORD milliseconds = 30000);

// A top-level dialog or message box ("#32770") with this caption (NULL:
// any), owned by the process (pid 0: any process), and, when okText is
// given, an IDOK button with that text (dialogs that share a caption);
// NULL after the timeout.
HWND WaitForDialog(const char *caption, DWORD pid, DWORD milliseconds = 15000,
                   const char *okText = NULL);
// Waits until the window is gone.
bool WaitForWindowGone(HWND window, DWORD milliseconds = 15000);
// Waits up to ms for visible top-level windows of other processes whose
// title contains name (a started program, the shell's folder window) and
// posts WM_CLOSE to them. True when one was found; with untilGone, only
// when they are gone too (a folder window holds its folder as current
// directory until it has closed).
bool CloseOtherWindow(const std::string &name, DWORD ms, bool untilGone = false);
// The text of a message box (its static control 0xFFFF).
std::string MessageBoxText(HWND box);
std::string ControlText(HWND dialog, int id);
std::string WindowText(HWND window);
bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);
// Posts WM_COMMAND with the id, as a button press does.
void Press(HWND dialog, int id);
// Saves what the screen shows of the window as a 24-bit BMP or PNG file.
bool SaveWindowBitmap(HWND window, const std::string &path);
bool SaveWindowPng(HWND window, const std::string &path);

// The file-system path of a shell special folder ("" if there is none).
std::string SpecialFolder(int csidl);

// Registry, directly through advapi32 (not through the layer under test).
// The reads take a view (KEY_WOW64_64KEY or KEY_WOW64_32KEY; 0: this
// program's own).
bool RegKeyExists(HKEY root, const std::string &subKey, REGSAM view = 0);
bool RegValueExists(HKEY root, const std::string &subKey, const std::string &name, REGSAM view = 0);
bool RegReadString(HKEY root, const std::string &subKey, const std::string &name, std::string *text,
                   REGSAM view = 0);
bool RegReadDword(HKEY root, const std::string &subKey, const std::string &name, DWORD *number,
                  REGSAM view = 0);
// Reads any value: its type and raw bytes.
bool RegReadRaw(HKEY root, const std::string &subKey, const std::string &name,
                DWORD *type, std::vector<unsigned char> *bytes, REGSAM view = 0);
// On 64-bit Windows the registry view of programs of the other kind than
// this build (KEY_WOW64_64KEY for a 32-bit build, KEY_WOW64_32KEY for a
// 64-bit one); 0 on 32-bit Windows, which has one view only.
REGSAM OtherRegistryView();
// The uninstall entry's key as a 64-bit client (the system's list of
// installed programs) finds it: under Software\Wow6432Node when the program
// is 32-bit and Windows 64-bit. Read it with KEY_WOW64_64KEY.
std::string UninstallEntryFor64BitClient();
// The system folder of 64-bit programs on 64-bit Windows (Sysnative seen
// from a 32-bit program), else system32: where the system's own tools are.
std::string NativeSystemFolder();
// On 64-bit Windows the system folder of programs of the other kind than
// this build (Sysnative or SysWOW64); "" on 32-bit Windows.
std::string OtherKindSystemFolder();
void RegSetString(HKEY root, const std::string &subKey, const std::string &name, const std::string &text);
void RegSetDword(HKEY root, const std::string &subKey, const std::string &name, DWORD number);
void RegSetRaw(HKEY root, const std::string &subKey, const std::string &name, DWORD type,
               const void *data, DWORD size);
void RegRemoveTree(HKEY root, const std::string &subKey);
// Every registry key and value that setup writes, removed, so that a test
// starts from a machine where Melvox was never set up.
void RemoveAllMelvoxKeys();

// Wine's Windows version as seen by GetVersionEx: "win98" gives platform
// id 1, "" restores the default (NT family).
void SetWineVersion(const std::string &version, const std::string &exeName = "");

// The folder that an elevated uninstall makes for its cleanup script:
// <Windows folder>\Temp\Melvox-<process id>-<n>, both in hex.
std::string ScriptFolder(DWORD pid, unsigned n = 0);
// The cleanup scripts still in such folders, one full name a line.
std::string ScriptsLeft();
bool WaitForScriptsGone(DWORD milliseconds);
// Removes every such folder, as the restart they are scheduled for would.
void RemoveScriptFolders();

} // namespace testsupport

#endif
