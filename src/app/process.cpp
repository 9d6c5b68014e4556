#include "app.h"

bool RunCommand(const char *commandLine)
{
    // CreateProcessA may write into the command line it is given.
    char command[MESSAGE_SIZE];
    if (!CopyText(command, sizeof command, commandLine))
        return false;
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}
