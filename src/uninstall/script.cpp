#include "uninstall.h"

#include <string.h>

#include "../app/app.h"
#include "script_text.h"

// The interpreter reads a batch file in the OEM code page; the paths are
// ANSI. ASCII stays byte for byte the same.
static void ToOem(const char *path, char *oem /* MAX_PATH */)
{
    DWORD length = (DWORD)strlen(path) + 1;
    CharToOemBuffA(path, oem, length);
}

bool WriteCleanupScript(const char *programPath, char *scriptPath)
{
    char temp[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH || !JoinPath(scriptPath, MAX_PATH, temp, CLEANUP_SCRIPT_NAME))
        return false;
    char folder[MAX_PATH];
    if (!GetCurrentFolder(folder) || strlen(programPath) >= MAX_PATH)
        return false;

    char oemProgram[MAX_PATH], oemFolder[MAX_PATH], oemScript[MAX_PATH];
    ToOem(programPath, oemProgram);
    ToOem(folder, oemFolder);
    ToOem(scriptPath, oemScript);
    static char text[SCRIPT_TEXT_SIZE];
    size_t length = ComposeCleanupScript(text, sizeof text, g_osVersion.dwPlatformId,
                                         oemProgram, oemFolder, oemScript);
    if (length == 0)
        return false;

    FILE *script = fopen(scriptPath, "wb");
    if (script == NULL)
        return false;
    // A script cut short could name some other file in its last line.
    bool written = fwrite(text, 1, length, script) == length;
    if (fclose(script) != 0 || !written) {
        DeleteFileA(scriptPath);
        return false;
    }
    return true;
}

bool ComposeInterpreterCommand(char *command, size_t size, const char *interpreter,
                               const char *scriptPath)
{
    return FormatText(command, size, "%s /c \"%s\"", interpreter, scriptPath);
}

// No interpreter runs the script: the program file and the install folder
// stay, and only the user can remove them now.
static void AbandonCleanup(const char *scriptPath)
{
    DeleteFileA(scriptPath);
    ShowWarning();
}

void StartCleanupScript(const char *scriptPath)
{
    // Without COMSPEC, or with a command line that does not fit, there is
    // nothing sound to start: a cut command would run some other file.
    char interpreter[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("COMSPEC", interpreter, MAX_PATH);
    char command[MESSAGE_SIZE];
    if (n == 0 || n >= MAX_PATH ||
        !ComposeInterpreterCommand(command, sizeof command, interpreter, scriptPath)) {
        AbandonCleanup(scriptPath);
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
        AbandonCleanup(scriptPath);
    }
    ExitProcess(0);
}
