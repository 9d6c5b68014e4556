#include "uninstall.h"

#include <string.h>

#include "../app/app.h"
#include "script_text.h"

// The interpreter reads a batch file in the OEM code page; the paths are
// ANSI. Only an exact conversion will do: the system's best fit would turn
// "MelvØx" into "MelvOx", which may be some other program's folder. The
// conversion asks for no flags (WC_NO_BEST_FIT_CHARS and the used-default
// flag fail with CP_UTF8 and are unknown to Windows 95 and NT 4); reading
// the result back shows whether it is exact.
static bool ToOemExactly(const char *path, char *oem /* MAX_PATH */)
{
    if (!NeedsOemConversion(path, GetACP(), GetOEMCP()))
        return CopyText(oem, MAX_PATH, path);
    WCHAR wide[MAX_PATH], back[MAX_PATH];
    return MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) != 0 &&
           WideCharToMultiByte(CP_OEMCP, 0, wide, -1, oem, MAX_PATH, NULL, NULL) != 0 &&
           MultiByteToWideChar(CP_OEMCP, 0, oem, -1, back, MAX_PATH) != 0 &&
           IsExactConversion(wide, back);
}

// Whether both names lead to the same file or folder.
static bool IsSameFile(const char *a, const char *b)
{
    BY_HANDLE_FILE_INFORMATION info[2];
    const char *names[2] = {a, b};
    for (int i = 0; i < 2; i++) {
        // No access asked: only the identity is read, whoever holds it.
        HANDLE h = CreateFileA(names[i], 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        BOOL ok = GetFileInformationByHandle(h, &info[i]);
        CloseHandle(h);
        if (!ok)
            return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
           info[0].nFileIndexLow == info[1].nFileIndexLow;
}

// The path as the script must name it: in the OEM code page exactly, or
// else its short (8.3) alias when the file system has one that converts
// exactly and leads to the same file. False when neither can be had.
static bool ToScriptPath(const char *path, char *oem /* MAX_PATH */)
{
    if (ToOemExactly(path, oem))
        return true;
    // The Windows 95 family cannot open a folder for IsSameFile, nor share
    // a delete: there a path is exact or it has no script form.
    if (g_osVersion.dwPlatformId == PLATFORM_WIN9X)
        return false;
    char alias[MAX_PATH];
    DWORD n = GetShortPathNameA(path, alias, MAX_PATH);
    return n != 0 && n < MAX_PATH && ToOemExactly(alias, oem) && IsSameFile(path, alias);
}

// Deletes a script that no interpreter runs, and its own folder.
static void DiscardScript(const CleanupScript *script)
{
    DeleteFileA(script->path);
    if (script->folder[0] != '\0')
        RemoveDirectoryA(script->folder);
}

// The script's folder. An elevated run may not take the user's temp
// folder: any program of that user can plant a file or a link under the
// script's name there, or rewrite the lines after the first while the
// interpreter waits, and have them run elevated. It gets a folder of its
// own that only administrators can change, or no script at all.
static bool FindScriptFolder(CleanupScript *script, char *home /* MAX_PATH */)
{
    if (g_osVersion.dwPlatformId != PLATFORM_WIN9X && IsElevated())
        return MakeScriptFolder(script->folder) && CopyText(home, MAX_PATH, script->folder);
    DWORD n = GetTempPathA(MAX_PATH, home);
    return n != 0 && n < MAX_PATH;
}

// Writes the text into a file that did not exist (in a folder of its own)
// or replaces the one in the temp folder. A file it could not open is not
// its own and stays; one it could not write whole is deleted.
static bool WriteScriptFile(const CleanupScript *script, const char *text, size_t length)
{
    DWORD creation = script->folder[0] != '\0' ? CREATE_NEW : CREATE_ALWAYS;
    HANDLE file = CreateFileA(script->path, GENERIC_WRITE, FILE_SHARE_READ, NULL, creation,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text, (DWORD)length, &written, NULL) && written == length;
    // A script cut short could name some other file in its last line.
    bool whole = CloseHandle(file) && ok;
    if (!whole)
        DeleteFileA(script->path);
    return whole;
}

bool WriteCleanupScript(const char *programPath, CleanupScript *script)
{
    script->path[0] = script->folder[0] = '\0';
    char folder[MAX_PATH];
    if (!GetCurrentFolder(folder) || strlen(programPath) >= MAX_PATH)
        return false;
    char home[MAX_PATH];
    if (!FindScriptFolder(script, home))
        return false;

    // The script file does not exist yet; its folder does, and the name
    // itself is plain ASCII.
    char oemProgram[MAX_PATH], oemFolder[MAX_PATH], oemHome[MAX_PATH], oemScript[MAX_PATH];
    static char text[SCRIPT_TEXT_SIZE];
    size_t length = 0;
    if (JoinPath(script->path, MAX_PATH, home, CLEANUP_SCRIPT_NAME) && ToScriptPath(programPath, oemProgram) &&
        ToScriptPath(folder, oemFolder) && ToScriptPath(home, oemHome) &&
        JoinPath(oemScript, sizeof oemScript, oemHome, CLEANUP_SCRIPT_NAME))
        length = ComposeCleanupScript(text, sizeof text, g_osVersion.dwPlatformId, oemProgram,
                                      oemFolder, oemScript, script->folder[0] ? oemHome : NULL);
    if (length == 0 || !WriteScriptFile(script, text, length)) {
        if (script->folder[0] != '\0')
            RemoveDirectoryA(script->folder);
        return false;
    }
    return true;
}

// No interpreter runs the script: the program file and the install folder
// stay, and only the user can remove them now.
static void AbandonCleanup(const CleanupScript *script, const WarningText *warning)
{
    DiscardScript(script);
    ShowWarningText(warning);
}

// The command interpreter. On the NT family only the system's own: COMSPEC
// comes from the user's environment, which any program of that user can
// set, while this run may be elevated. The Windows 95 family names its
// COMMAND.COM nowhere else, and has no rights to keep apart.
static bool FindInterpreter(char *interpreter /* MAX_PATH */)
{
    if (g_osVersion.dwPlatformId == PLATFORM_WIN9X) {
        DWORD n = GetEnvironmentVariableA("COMSPEC", interpreter, MAX_PATH);
        return n != 0 && n < MAX_PATH;
    }
    char system[MAX_PATH];
    UINT n = GetSystemDirectoryA(system, MAX_PATH);
    return n != 0 && n < MAX_PATH && JoinPath(interpreter, MAX_PATH, system, "cmd.exe");
}

void StartCleanupScript(const CleanupScript *script, const WarningText *warning)
{
    // Without an interpreter, or with a command line that does not fit,
    // there is nothing sound to start: a cut command would run some other
    // file.
    char interpreter[MAX_PATH];
    char command[MESSAGE_SIZE];
    if (!FindInterpreter(interpreter) ||
        !ComposeInterpreterCommand(command, sizeof command, g_osVersion.dwPlatformId, interpreter,
                                   script->path)) {
        AbandonCleanup(script, warning);
        ExitProcess(0);
    }

    bool win9x = g_osVersion.dwPlatformId == PLATFORM_WIN9X;
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    HANDLE nul = INVALID_HANDLE_VALUE;
    if (win9x) {
        // A detached console program on the Windows 95 family needs
        // standard handles of its own. Only an inheritable handle is valid
        // in the child; any other would be a stray number there.
        startup.dwFlags = STARTF_USESTDHANDLES;
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
        nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, NULL);
        startup.hStdInput = nul;
        startup.hStdOutput = nul;
        startup.hStdError = nul;
    } else {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }

    ReleaseLanguageModule();
    // Out of the install folder, so that it can be removed.
    SetCurrentDirectoryA("..");
    PROCESS_INFORMATION process;
    BOOL started = CreateProcessA(NULL, command, NULL, NULL, TRUE,
                                  win9x ? DETACHED_PROCESS : 0, NULL, NULL, &startup, &process);
    if (win9x)
        CloseHandle(nul);
    if (started) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        AbandonCleanup(script, warning);
    }
    ExitProcess(0);
}
