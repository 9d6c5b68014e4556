#include "setup.h"

#include "../app/app.h"
#include "../registry/keys.h"
#include "../registry/registry.h"
#include "../resources/resource.h"

// Handler keys under HKEY_CLASSES_ROOT, in the order they are written.
// Under the prog-id and "exefile" the key is named by the class id; the
// others are named "Melvox" (or "DropHandler") and hold the class id.
static const char *const g_keysNamedByClsid[] = {
    PROGID "\\shellex\\ContextMenuHandlers\\" SHELLEXT_CLSID,
    PROGID "\\shellex\\PropertySheetHandlers\\" SHELLEXT_CLSID,
    "exefile\\shellex\\PropertySheetHandlers\\" SHELLEXT_CLSID,
};
static const char *const g_keysHoldingClsid[] = {
    PROGID "\\shellex\\DropHandler",
    "*\\shellex\\ContextMenuHandlers\\" PROGID,
    "Folder\\shellex\\ContextMenuHandlers\\" PROGID,
    "Folder\\shellex\\DragDropHandlers\\" PROGID,
    "Drives\\shellex\\ContextMenuHandlers\\" PROGID,
};

static void RegisterShellExtension()
{
    WriteRegString(KEY_CLSID, "", "Melvox");
    char modulePath[MAX_PATH];
    if (GetInstallPath("mvxext.dll", modulePath))
        WriteRegString(KEY_INPROC, "", modulePath);
    WriteRegString(KEY_INPROC, "ThreadingModel", "Apartment");
    for (const char *key : g_keysNamedByClsid)
        WriteRegString(key, "", "");
    for (const char *key : g_keysHoldingClsid)
        WriteRegString(key, "", SHELLEXT_CLSID);
}

void ApplyShellIntegration(HWND hDlg)
{
    if (IsDlgButtonChecked(hDlg, IDC_SHELLEXT))
        RegisterShellExtension();

    SetRegistryRoot(HKEY_LOCAL_MACHINE);
    WriteRegString(KEY_UNINSTALL_ENTRY, "DisplayName", LoadText(IDS_DISPLAYNAME));
    // The uninstaller and the application path follow the program's own
    // folder; "Path" follows the current directory.
    char path[MAX_PATH];
    char command[MESSAGE_SIZE];
    if (GetProgramPath(path)) {
        // A command line: quoted, so that the system starts this program
        // and not a prefix of its path that ends at a blank.
        if (FormatText(command, sizeof command, "\"%s\"", path))
            WriteRegString(KEY_UNINSTALL_ENTRY, "UninstallString", command);
        if (ReplaceName(path, sizeof path, "Melvox.exe"))
            WriteRegString(KEY_APP_PATH, "", path);
    }
    if (GetCurrentFolder(path))
        WriteRegString(KEY_APP_PATH, "Path", path);
    WriteRegString(KEY_APPROVED, SHELLEXT_CLSID, "Melvox shell extension");
    SetRegistryRoot(HKEY_CLASSES_ROOT);
}
