#include "setup.h"

#include <shlobj.h>

#include "../app/app.h"
#include "../registry/keys.h"
#include "../registry/registry.h"
#include "../resources/resource.h"

static const char LINK_DESCRIPTION[] = "Melvox";

// A link to program path in a special folder; skipped when the folder
// cannot be located.
static void LinkInSpecialFolder(HWND hDlg, int csidl, const char *programPath)
{
    char linkPath[MAX_PATH];
    if (GetSpecialFolderPath(hDlg, csidl, "Melvox.lnk", linkPath))
        CreateShellLink(programPath, linkPath, LINK_DESCRIPTION);
}

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

    char group[MAX_PATH];
    if (!GetSpecialFolderPath(hDlg, CSIDL_PROGRAMS, "Melvox", group))
        return;
    CreateDirectoryA(group, NULL); // an existing group is reused
    // Without the folder (a file of that name, no rights) there is nothing
    // to put links in, nor a folder for the Completion dialog to open.
    DWORD attributes = GetFileAttributesA(group);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    for (const GroupLink &link : links) {
        // The names of links 1 and 2 come from a translation: a name with a
        // path separator would put its link outside the group folder.
        if (PointToName(link.name) != link.name)
            continue;
        char linkPath[MAX_PATH];
        char target[MAX_PATH];
        if (JoinPath(linkPath, sizeof linkPath, group, link.name) &&
            AppendText(linkPath, sizeof linkPath, ".lnk") &&
            GetInstallPath(link.target, target))
            CreateShellLink(target, linkPath, LINK_DESCRIPTION);
    }
    CopyText(g_szProgramGroup, sizeof g_szProgramGroup, group);
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

    if (desktop && havePath)
        LinkInSpecialFolder(hDlg, CSIDL_DESKTOPDIRECTORY, programPath);
    if (startMenu && havePath)
        LinkInSpecialFolder(hDlg, CSIDL_STARTMENU, programPath);
    if (programs)
        CreateProgramGroup(hDlg);
}
