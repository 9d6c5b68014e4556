#include "uninstall.h"

#include <string.h>

#include "../app/app.h"
#include "../resources/resource.h"
#include "listfile.h"

int RemoveListedFiles(FILE *list, const char *prefix)
{
    int passes = 0;
    for (;;) {
        passes++;
        int removed = 0;
        char name[MAX_PATH];
        while (ReadListEntry(list, prefix, name)) {
            DWORD attributes = GetFileAttributesA(name);
            // Read-only, hidden and system files cannot be deleted as they are.
            SetFileAttributesA(name, 0);
            BOOL done;
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                done = RemoveDirectoryA(name);
            else
                done = DeleteFileA(name);
            // Only a name that is really gone counts: Wine reports success
            // for a file that stays while mapped, and a pass that counts
            // what it did not remove would never end.
            if (done && GetFileAttributesA(name) == INVALID_FILE_ATTRIBUTES)
                removed++;
        }
        // A folder listed before its files goes in a later pass, once empty.
        if (removed == 0)
            return passes;
        fseek(list, 0, SEEK_SET);
    }
}

static void DeleteHelpIndex(const char *name)
{
    SetFileAttributesA(name, 0);
    DeleteFileA(name);
}

void RunUninstall()
{
    char programPath[MAX_PATH];
    if (!GetProgramPath(programPath))
        return;
    char folder[MAX_PATH];
    CopyText(folder, sizeof folder, programPath);
    char *cut = strrchr(folder, '\\');
    if (cut == NULL)
        return;
    // A drive root keeps its backslash: "C:\" names the root, "C:" does not.
    if (cut != folder && cut[-1] == ':')
        cut[1] = '\0';
    else
        cut[0] = '\0';

    // The list and the help-index files are taken by bare name from here;
    // in any other folder they would be somebody else's files.
    if (!SetCurrentDirectoryA(folder))
        return;
    char prefix[MAX_PATH];
    if (!JoinPath(prefix, sizeof prefix, folder, ""))
        return;

    if (MessageBoxA(NULL, LoadText(IDS_CONFIRM), LoadText(IDS_CAPTION),
                    MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES)
        return;

    FILE *list = fopen(LIST_FILE_NAME, "rb");
    if (list == NULL) {
        // The format text may come from a language module.
        char message[MESSAGE_SIZE];
        FormatOneString(message, sizeof message, LoadText(IDS_NOLIST), LIST_FILE_NAME);
        MessageBoxA(NULL, message, LoadText(IDS_CAPTION), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
        return;
    }

    // The only text still needed is the warning for a program file that
    // stays; it is composed now. The language module usually sits in the
    // install folder and is listed: while it is loaded it cannot be
    // deleted, and the folder could not go.
    WarningText warning;
    ComposeWarningText(&warning);
    ReleaseLanguageModule();
    RestoreAssociations();
    RemoveRegistryKeys();
    RemoveShortcuts();
    DeleteHelpIndex("melvox.gid");
    DeleteHelpIndex("melvox.fts");
    RemoveListedFiles(list, prefix);
    fclose(list);
    DeleteFileA(LIST_FILE_NAME);

    // Without a script nothing removes the program file: the user is told.
    char scriptPath[MAX_PATH];
    if (!WriteCleanupScript(programPath, scriptPath)) {
        ShowWarningText(&warning);
        return;
    }
    StartCleanupScript(scriptPath, &warning);
}
