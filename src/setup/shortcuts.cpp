#include "setup.h"

#include <shlobj.h>
#include <string.h>

#include "../app/app.h"
#include "../app/file_calls.h"
#include "../app/held_folder.h"
#include "../registry/keys.h"
#include "../registry/registry.h"
#include "../resources/resource.h"

static const char LINK_DESCRIPTION[] = "Melvox";

// The links' folders are named in UTF-16 on the NT family, where a user's
// folder may be named in letters that the ANSI code page lacks, and in
// ANSI on the 95 family, which has no wide file functions; Char is the one
// in use. The links' own names and targets are ANSI either way.
static void RecordProgramGroup(const char *group)
{
    CopyText(g_szProgramGroup, sizeof g_szProgramGroup, group);
}

static void RecordProgramGroup(const WCHAR (&group)[MAX_PATH])
{
    memcpy(g_wszProgramGroup, group, sizeof g_wszProgramGroup);
}

static bool HoldGroup(const char *group, HANDLE *held)
{
    DWORD attributes = GetFileAttributesA(group);
    *held = NULL;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Held while its links are written, so that it cannot be swapped for a
// link meanwhile; a group that is a link is not used.
static bool HoldGroup(const WCHAR *group, HANDLE *held)
{
    *held = HoldFolder(group);
    return *held != NULL;
}

template <typename Char>
static void CreateProgramGroup(HWND hDlg)
{
    struct GroupLink {
        const char *name;
        const char *target; // in the install folder
    };
    const GroupLink links[] = {
        {"Melvox", "Melvox.exe"},
        {LoadText(IDS_HELPLINK), "Melvox.hlp"},
        {LoadText(IDS_MANUALLINK), "Mvx.txt"},
    };

    Char group[MAX_PATH];
    if (!GetSpecialFolderPath(hDlg, CSIDL_PROGRAMS, "Melvox", group))
        return;
    MakeFolder(group); // an existing group is reused
    // Without the folder (a file of that name, no rights, a link) there is
    // nothing to put links in, nor a folder for the Completion dialog.
    HANDLE held;
    if (!HoldGroup(group, &held))
        return;
    for (const GroupLink &link : links) {
        // The names of links 1 and 2 come from a translation: a name with a
        // path separator would put its link outside the group folder.
        if (PointToName(link.name) != link.name)
            continue;
        char name[MAX_PATH];
        Char linkPath[MAX_PATH];
        char target[MAX_PATH];
        if (CopyText(name, sizeof name, link.name) && AppendText(name, sizeof name, ".lnk") &&
            JoinPath(linkPath, MAX_PATH, group, name) && GetInstallPath(link.target, target))
            CreateShellLink(target, linkPath, LINK_DESCRIPTION);
    }
    RecordProgramGroup(group);
    if (held != NULL)
        CloseHandle(held);
}

// The chosen links to the program (NULL: none can be made) in the desktop
// and start-menu folders, each skipped when its folder cannot be
// located, and the program group.
template <typename Char>
static void CreateLinks(HWND hDlg, bool desktop, bool startMenu, bool programs, const char *programPath)
{
    const int folders[] = {desktop ? CSIDL_DESKTOPDIRECTORY : -1, startMenu ? CSIDL_STARTMENU : -1};
    for (int csidl : folders) {
        Char linkPath[MAX_PATH];
        if (csidl >= 0 && programPath && GetSpecialFolderPath(hDlg, csidl, "Melvox.lnk", linkPath))
            CreateShellLink(programPath, linkPath, LINK_DESCRIPTION);
    }
    if (programs)
        CreateProgramGroup<Char>(hDlg);
}

void ApplyShortcuts(HWND hDlg)
{
    char programPath[MAX_PATH];
    bool havePath = GetInstallPath("Melvox.exe", programPath);

    bool desktop = IsDlgButtonChecked(hDlg, IDC_DESKTOP) != 0;
    bool startMenu = IsDlgButtonChecked(hDlg, IDC_STARTMENU) != 0;
    bool programs = IsDlgButtonChecked(hDlg, IDC_PROGRAMS) != 0;
    bool shellExt = IsDlgButtonChecked(hDlg, IDC_SHELLEXT) != 0;

    SetRegistryRoot(HKEY_CURRENT_USER);
    WriteRegDword(KEY_SETUP_LINKS, "Desktop", desktop ? 1 : 0);
    WriteRegDword(KEY_SETUP_LINKS, "StartMenu", startMenu ? 1 : 0);
    WriteRegDword(KEY_SETUP_LINKS, "Programs", programs ? 1 : 0);
    WriteRegDword(KEY_SETUP, "ShellExt", shellExt ? 1 : 0);
    SetRegistryRoot(HKEY_CLASSES_ROOT);

    const char *target = havePath ? programPath : NULL;
    if (g_osVersion.dwPlatformId == PLATFORM_WIN9X)
        CreateLinks<char>(hDlg, desktop, startMenu, programs, target);
    else
        CreateLinks<WCHAR>(hDlg, desktop, startMenu, programs, target);
}
