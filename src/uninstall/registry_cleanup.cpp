#include "uninstall.h"

#include "../app/app.h"
#include "../registry/keys.h"
#include "../registry/registry.h"

static const char *const g_extensions[] = {".mvx", ".zip", ".cab", ".arj", ".lzh"};

bool IsOwnedByMelvox(const char *extension)
{
    // Straight from HKEY_CLASSES_ROOT, whatever the layer's root is. A
    // value of 80 characters or more does not fit and is not Melvox's.
    char owner[80];
    LONG size = sizeof owner;
    if (RegQueryValueA(HKEY_CLASSES_ROOT, extension, owner, &size) != ERROR_SUCCESS)
        return false;
    owner[sizeof owner - 1] = '\0';
    return EqualsIgnoringCase(owner, PROGID);
}

void RestoreAssociations()
{
    for (const char *extension : g_extensions) {
        // An extension taken over by another program since setup stays his.
        if (!IsOwnedByMelvox(extension))
            continue;
        char savedKey[80];
        if (!FormatText(savedKey, sizeof savedKey, KEY_SETUP_FORMAT, extension))
            continue;
        char type[512];
        char content[512];
        SetRegistryRoot(HKEY_CURRENT_USER);
        ReadRegString(savedKey, "Type", type, "", sizeof type);
        ReadRegString(savedKey, "Content", content, "", sizeof content);
        SetRegistryRoot(HKEY_CLASSES_ROOT);
        WriteRegString(extension, "", type);
        if (content[0] != '\0')
            WriteRegString(extension, "Content Type", content);
    }
    DeleteRegKeyTree(PROGID);
}

void CleanUpRegistry()
{
    RestoreAssociations();
    RemoveRegistryKeys();
    NotifyAssociationsChanged();
}

void RemoveRegistryKeys()
{
    SetRegistryRoot(HKEY_LOCAL_MACHINE);
    DeleteRegKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Melvox archiver");
    // Older versions registered Melvox95.exe; this one registers Melvox.exe.
    DeleteRegKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Melvox95.exe");
    DeleteRegKey(KEY_APP_PATH);
    DeleteRegValue(KEY_APPROVED, SHELLEXT_CLSID);

    SetRegistryRoot(HKEY_CURRENT_USER);
    DeleteRegKeyTree(KEY_MELVOX);

    // Child before parent: a plain deletion refuses keys with sub-keys on NT.
    SetRegistryRoot(HKEY_CLASSES_ROOT);
    DeleteRegKey(KEY_INPROC);
    DeleteRegKey(KEY_CLSID);
    DeleteRegKeyTree(PROGID);
    DeleteRegKey("*\\shellex\\ContextMenuHandlers\\Melvox");
    DeleteRegKey("Folder\\shellex\\ContextMenuHandlers\\Melvox");
    DeleteRegKey("Folder\\shellex\\DragDropHandlers\\Melvox");
    DeleteRegKey("Drives\\shellex\\ContextMenuHandlers\\Melvox");
    DeleteRegKey("exefile\\shellex\\PropertySheetHandlers\\" SHELLEXT_CLSID);
}
