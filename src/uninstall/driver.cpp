#include "uninstall.h"

#include <string.h>

#include "../app/app.h"
#include "../app/held_folder.h"
#include "../resources/resource.h"

// Help writes these files beside the help file; any program may have put
// a link in their place, so on the NT family they are replaced, never
// deleted or changed through their names.
static void DeleteHelpIndex(const char *name, const WCHAR *wideName)
{
    if (g_osVersion.dwPlatformId != PLATFORM_WIN9X) {
        RemoveByReplacing(wideName);
        return;
    }
    SetFileAttributesA(name, 0);
    DeleteFileA(name);
}

// The install folder is the program's own folder; false when it has none.
static bool GetInstallFolder(const char *programPath, char *folder /* MAX_PATH */)
{
    CopyText(folder, MAX_PATH, programPath);
    // The last backslash as a character: a trail byte may be one too.
    char *name = PointToName(folder);
    if (name == folder || name[-1] != '\\')
        return false;
    char *cut = name - 1;
    // A drive root keeps its backslash: "C:\" names the root, "C:" does not.
    if (cut != folder && cut[-1] == ':')
        cut[1] = '\0';
    else
        cut[0] = '\0';
    return true;
}

// The list, or NULL once the user has been told that there is none.
static FILE *OpenList()
{
    FILE *list = fopen(LIST_FILE_NAME, "rb");
    if (list == NULL) {
        // The format text may come from a language module.
        char message[MESSAGE_SIZE];
        FormatOneString(message, sizeof message, LoadText(IDS_NOLIST), LIST_FILE_NAME);
        MessageBoxA(NULL, message, LoadText(IDS_CAPTION), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    }
    return list;
}

// A running Melvox would stay behind after the registry and the list are
// gone, with nothing left to finish the job: the user closes it first, or
// stops here (false) with everything as it was.
static bool WaitForListedPrograms(FILE *list, const char *prefix, const char *programPath)
{
    char running[MAX_PATH];
    while (FindRunningProgram(list, prefix, programPath, running)) {
        char message[MESSAGE_SIZE];
        FormatOneString(message, sizeof message, LoadText(IDS_PROGRAMRUNNING), running);
        if (MessageBoxA(NULL, message, LoadText(IDS_CAPTION),
                        MB_RETRYCANCEL | MB_ICONEXCLAMATION | MB_SETFOREGROUND) != IDRETRY)
            return false;
    }
    return true;
}

// The texts needed once the language module is released.
struct LateTexts {
    WarningText warning;
    char atRestart[MESSAGE_SIZE];
    char byHand[MESSAGE_SIZE];
    char left[MESSAGE_SIZE];
    char listLine[MESSAGE_SIZE];
};

// The names, one a line, as many as fit whole and a message box shows
// well; "..." stands for the rest.
static void ListNames(char *buffer, size_t size, const HeldFiles *names)
{
    enum { SHOWN_NAMES = 12 };
    buffer[0] = '\0';
    const char *name = names->names;
    for (int i = 0; i < names->count; i++, name += strlen(name) + 1) {
        size_t used = strlen(buffer);
        if (i == SHOWN_NAMES || used + strlen(name) + 6 > size) {
            AppendText(buffer, size, "...");
            return;
        }
        AppendText(buffer, size, name);
        if (i + 1 < names->count)
            AppendText(buffer, size, "\n");
    }
    if (names->lost > 0)
        AppendText(buffer, size, names->count > 0 ? "\n..." : "...");
}

// One closing word on what stays, when anything does: the held files,
// which go at the restart where they could be scheduled, and the entries
// left for any other reason, which the user deletes by hand.
static void TellWhatStays(const HeldFiles *held, bool scheduled, const HeldFiles *left, const LateTexts *texts)
{
    char message[4 * MESSAGE_SIZE] = "";
    if (held->count + held->lost > 0)
        FormatOneString(message, sizeof message, scheduled ? texts->atRestart : texts->byHand,
                        held->count > 0 ? held->names : "");
    if (left->count + left->lost > 0) {
        char names[2 * MESSAGE_SIZE], part[3 * MESSAGE_SIZE];
        ListNames(names, sizeof names, left);
        FormatOneString(part, sizeof part, texts->left, names);
        if (message[0] != '\0')
            AppendText(message, sizeof message, "\n\n");
        AppendText(message, sizeof message, part);
    }
    if (message[0] == '\0')
        return;
    bool allWell = scheduled && left->count + left->lost == 0;
    MessageBoxA(NULL, message, texts->warning.caption,
                MB_OK | (allWell ? MB_ICONINFORMATION : MB_ICONEXCLAMATION) | MB_SETFOREGROUND);
}

// Removes the listed files. What another process holds goes at the next
// restart; the user hears which file, what else stays, and what to do
// where it cannot be scheduled.
static void RemoveInstalledFiles(FILE *list, const char *prefix, const char *folder,
                                 const char *programPath, HeldFiles *left, const LateTexts *texts)
{
    char listPath[MAX_PATH];
    HeldFiles held;
    ZeroMemory(&held, sizeof held);
    held.exempt[0] = left->exempt[0] = programPath;
    if (JoinPath(listPath, sizeof listPath, folder, LIST_FILE_NAME))
        held.exempt[1] = left->exempt[1] = listPath;
    left->lineFormat = texts->listLine;
    RemoveListedFiles(list, prefix, &held, left);
    bool scheduled = held.count + held.lost > 0 && ScheduleHeldFiles(list, prefix, folder, &held);
    TellWhatStays(&held, scheduled, left, texts);
    FreeHeldFiles(&held);
    left->exempt[0] = left->exempt[1] = NULL;
}

void RunUninstall()
{
    char programPath[MAX_PATH], folder[MAX_PATH], prefix[MAX_PATH];
    if (!GetProgramPath(programPath) || !CheckFolderNames(false) ||
        !GetInstallFolder(programPath, folder))
        return;
    // The list and the help-index files are taken by bare name from here;
    // in any other folder they would be somebody else's files.
    if (!SetCurrentDirectoryA(folder) || !JoinPath(prefix, sizeof prefix, folder, ""))
        return;
    if (MessageBoxA(NULL, LoadText(IDS_CONFIRM), LoadText(IDS_CAPTION),
                    MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES)
        return;
    FILE *list = OpenList();
    if (list == NULL)
        return;
    if (!WaitForListedPrograms(list, prefix, programPath)) {
        fclose(list);
        return;
    }

    // The texts still needed are composed or copied now: the warning for
    // a program file that stays, and the word on files in use. The
    // language module usually sits in the install folder and is listed:
    // while it is loaded it cannot be deleted, and the folder could not go.
    LateTexts texts;
    ComposeWarningText(&texts.warning);
    CopyText(texts.atRestart, sizeof texts.atRestart, LoadText(IDS_INUSERESTART));
    CopyText(texts.byHand, sizeof texts.byHand, LoadText(IDS_INUSEBYHAND));
    CopyText(texts.left, sizeof texts.left, LoadText(IDS_LEFTBYHAND));
    CopyText(texts.listLine, sizeof texts.listLine, LoadText(IDS_LISTLINE));
    ReleaseLanguageModule();
    CleanUpRegistry();
    HeldFiles left;
    ZeroMemory(&left, sizeof left);
    RemoveShortcuts(&left);
    DeleteHelpIndex("melvox.gid", L"melvox.gid");
    DeleteHelpIndex("melvox.fts", L"melvox.fts");
    RemoveInstalledFiles(list, prefix, folder, programPath, &left, &texts);
    FreeHeldFiles(&left);
    fclose(list);
    DeleteFileA(LIST_FILE_NAME);

    // Without a script nothing removes the program file: the user is told.
    CleanupScript script;
    if (!WriteCleanupScript(programPath, &script)) {
        ShowWarningText(&texts.warning);
        return;
    }
    StartCleanupScript(&script, &texts.warning);
}
