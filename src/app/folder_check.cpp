#include "app.h"

#include <wchar.h>

#include "../resources/resource.h"

// Whether the ANSI name is the name the system holds. For a character
// outside the code page the ANSI functions give the default character
// ('?'), and such a name leads nowhere. Where the wide function is missing
// (the Windows 95 family) every name is ANSI anyway.
static bool IsWholeName(const char *ansi, const WCHAR *wide, DWORD wideLength)
{
    if (wideLength == 0 || wideLength >= MAX_PATH)
        return true;
    WCHAR back[MAX_PATH];
    return MultiByteToWideChar(CP_ACP, 0, ansi, -1, back, MAX_PATH) != 0 && wcscmp(back, wide) == 0;
}

bool CheckFolderNames(bool setup)
{
    char path[MAX_PATH], folder[MAX_PATH];
    WCHAR wide[MAX_PATH];
    bool whole = true;
    if (setup && GetCurrentFolder(folder))
        whole = IsWholeName(folder, wide, GetCurrentDirectoryW(MAX_PATH, wide));
    if (whole && GetProgramPath(path)) {
        whole = IsWholeName(path, wide, GetModuleFileNameW(NULL, wide, MAX_PATH));
        // The folder without the program's name and, but in a drive root,
        // without the backslash.
        char *name = PointToName(path);
        if (name - path > 3)
            name--;
        *name = '\0';
        CopyText(folder, sizeof folder, path);
    }
    if (whole)
        return true;
    char message[MESSAGE_SIZE];
    FormatOneString(message, sizeof message, LoadText(IDS_FOLDERCODEPAGE), folder);
    MessageBoxA(NULL, message, LoadText(setup ? IDS_SETUPCAPTION : IDS_CAPTION),
                MB_OK | MB_ICONSTOP | MB_SETFOREGROUND);
    return false;
}
