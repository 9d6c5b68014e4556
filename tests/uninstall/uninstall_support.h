// Helpers of the uninstall tests: sample installs, the registry state that
// setup leaves, and snapshots to compare the registry before and after.
#ifndef MELVOX_UNINSTALL_SUPPORT_H
#define MELVOX_UNINSTALL_SUPPORT_H

#include <windows.h>

#include <string>
#include <vector>

#include "uninstall/uninstall.h"

namespace uninstalltest {

// A file (content non-empty or "") or a folder (name ending in '\\') to
// lay out below a root, with attributes to set afterwards (0: none).
struct Item {
    std::string name;
    DWORD attributes = 0;
};
void LayOut(const std::string &root, const std::vector<Item> &items);
// Whether root\name exists (file or folder).
bool Exists(const std::string &root, const std::string &name);

// Runs RemoveListedFiles on a list with these bytes; returns the passes.
int RemoveWithList(const std::string &prefix, const std::string &listBytes, HeldFiles *left = NULL);

// What setup's OK runs, in this process, without the Completion dialog:
// ApplySetup on a Setup dialog with all five types and shell integration
// checked (no links), run with folder as the current directory.
void ApplySetupSteps(const std::string &folder);

// The real program's setup mode, driven through its dialogs: all five types,
// shell integration, desktop and start-menu links (no program group, whose
// folder window would open at the end). True when it ran to its end.
bool RunRealSetup(const std::string &program, const std::string &folder);

// Every key and value below root\subKey, one line each, sorted.
std::string DumpKey(HKEY root, const std::string &subKey);
// The registry state that setup and uninstall touch, as one text.
std::string DumpMelvoxState();
// Every key and value of the uninstall's removal list that is still there,
// one a line; empty when all are gone.
std::string MelvoxKeysLeft();

// The cleanup script's path in the temp folder.
std::string ScriptPath();

// Copies the built program into a fresh install folder with a few files
// and, when withList, an Uninstall.lst naming them (folders before files).
std::string MakeInstall(const std::string &tag, bool withList);
// The entries that MakeInstall lists.
const std::vector<std::string> &InstallEntries();

// Waits up to ms for the path to be gone.
bool WaitUntilGone(const std::string &path, DWORD ms);

} // namespace uninstalltest

#endif
