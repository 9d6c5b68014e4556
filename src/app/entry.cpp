#include "app.h"

#include <string.h>

#include "../registry/registry.h"
#include "../resources/resource.h"
#include "../setup/setup.h"
#include "../uninstall/uninstall.h"

HINSTANCE g_hProgram;
HINSTANCE g_hResources;
BOOL g_bLanguageModule;
OSVERSIONINFOA g_osVersion;
HICON g_hDialogIcon;
HFONT g_hBoldFont;
char g_szProgramGroup[MAX_PATH];
WCHAR g_wszProgramGroup[MAX_PATH];

// The language module is looked for only beside the program: loading it by
// bare name would let a DLL of that name in the current directory or on
// PATH into a process that often runs elevated. As a data file, no code of
// the module runs; strings, icons and dialogs still load from it.
static HINSTANCE LoadLanguageModule()
{
    char path[MAX_PATH];
    if (!GetProgramPath(path) || !ReplaceName(path, sizeof path, LANGUAGE_MODULE_NAME))
        return NULL;
    return LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
}

// Where the system offers it (Windows 10 22H2 and 11), it refuses this
// process any junction that a non-administrator made. Elsewhere the call
// is missing or refuses the policy; nothing else changes.
static void TrustOnlyAdministratorsLinks()
{
    typedef BOOL(WINAPI * PolicyCall)(int, PVOID, SIZE_T);
    PolicyCall set = (PolicyCall)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                        "SetProcessMitigationPolicy");
    enum { REDIRECTION_TRUST_POLICY = 16, ENFORCE_REDIRECTION_TRUST = 1 };
    DWORD flags = ENFORCE_REDIRECTION_TRUST;
    if (set != NULL)
        set(REDIRECTION_TRUST_POLICY, &flags, sizeof flags);
}

void StartUp(HINSTANCE hInstance)
{
    g_hProgram = hInstance;
    g_bLanguageModule = TRUE;
    g_hResources = LoadLanguageModule();
    if (g_hResources == NULL) {
        g_bLanguageModule = FALSE;
        g_hResources = g_hProgram;
    }
    g_osVersion.dwOSVersionInfoSize = sizeof g_osVersion;
    GetVersionExA(&g_osVersion);
    if (g_osVersion.dwPlatformId != PLATFORM_WIN9X)
        TrustOnlyAdministratorsLinks();
    g_hDialogIcon = LoadIconA(g_hResources, "MVXICON");
    // DEFAULT_CHARSET: the system picks a face that has the characters of
    // its code page, so a Japanese or Chinese closing line shows them.
    g_hBoldFont = CreateFontA(-12, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                              DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                              "MS Sans Serif");
    SetRegistryRoot(HKEY_CLASSES_ROOT);
}

void ComposeWarningText(WarningText *text)
{
    char path[MAX_PATH];
    GetProgramPath(path);
    // Both texts may come from a translation and be 255 characters long.
    const char *completed = LoadText(IDS_COMPLETED);
    const char *deleteFormat = LoadText(IDS_DELETEMANUALLY);
    ComposeWarning(text->message, sizeof text->message, completed, deleteFormat, path);
    CopyText(text->caption, sizeof text->caption, LoadText(IDS_CAPTION));
}

void ShowWarningText(const WarningText *text)
{
    MessageBoxA(NULL, text->message, text->caption, MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
}

void ShowWarning()
{
    WarningText text;
    ComposeWarningText(&text);
    ShowWarningText(&text);
}

// Setup and uninstall run one at a time; a second one says so and ends.
// The cleanup script's /wait and /warning runs take no lock: they must run
// while the uninstall that started them may still hold it.
static bool MayRun(UINT captionId)
{
    if (TakeRunLock())
        return true;
    MessageBoxA(NULL, LoadText(IDS_ALREADYRUNNING), LoadText(captionId),
                MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
    return false;
}

void Dispatch(const char *commandTail)
{
    const char *option = strrchr(commandTail, '/');
    if (option == NULL) {
        if (MayRun(IDS_CAPTION))
            RunUninstall();
        return;
    }
    if (_strnicmp(option, "/setup", 6) == 0 && MayRun(IDS_SETUPCAPTION) && CheckFolderNames(true))
        DialogBoxParamA(g_hResources, "SETUPDLG", NULL, SetupDialogProc, 0);
    if (_strnicmp(option, "/wait", 5) == 0)
        Sleep(2000);
    if (_strnicmp(option, "/warning", 8) == 0)
        ShowWarning();
}

void ReleaseLanguageModule()
{
    if (g_bLanguageModule) {
        FreeLibrary(g_hResources);
        g_bLanguageModule = FALSE;
        g_hResources = g_hProgram;
    }
}

void CleanUp()
{
    ReleaseRunLock();
    DeleteObject(g_hBoldFont);
    ReleaseLanguageModule();
}

int AppMain(HINSTANCE hInstance, const char *commandTail)
{
    StartUp(hInstance);
    Dispatch(commandTail ? commandTail : "");
    CleanUp();
    return 0;
}
