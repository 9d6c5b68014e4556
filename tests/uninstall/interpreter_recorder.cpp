// interpreter_recorder.exe: stands in for the command interpreter named by
// COMSPEC. It writes how it was started (command line, current folder,
// start-up record, standard handles, console) and a copy of the script
// named after "/c" (in one or two pairs of quotes) into the file named by MELVOX_RECORDER_OUT, and runs
// nothing.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

int main()
{
    char out[MAX_PATH];
    if (!GetEnvironmentVariableA("MELVOX_RECORDER_OUT", out, MAX_PATH))
        return 1;
    FILE *record = fopen(out, "wb");
    if (!record)
        return 1;
    const char *command = GetCommandLineA();
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, folder);
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE), output = GetStdHandle(STD_OUTPUT_HANDLE),
           error = GetStdHandle(STD_ERROR_HANDLE);
    fprintf(record, "command=%s\n", command);
    fprintf(record, "folder=%s\n", folder);
    fprintf(record, "flags=%lu\n", (unsigned long)startup.dwFlags);
    fprintf(record, "show=%u\n", (unsigned)startup.wShowWindow);
    fprintf(record, "samehandles=%d\n", in != NULL && in == output && output == error);
    DWORD written = 0;
    fprintf(record, "writable=%d\n", WriteFile(output, "x", 1, &written, NULL) && written == 1);
    fprintf(record, "console=%d\n", GetConsoleWindow() != NULL);

    std::string script;
    const char *c = strstr(command, " /c \"");
    if (c) {
        // "/c "S"" on the Windows 95 family, "/c ""S""" on the NT family.
        script = c + 5;
        if (!script.empty() && script[0] == '"')
            script.erase(0, 1);
        while (!script.empty() && script.back() == '"')
            script.pop_back();
    }
    fprintf(record, "script=%s\n", script.c_str());
    FILE *in_file = fopen(script.c_str(), "rb");
    if (in_file) {
        char chunk[4096];
        size_t n;
        while ((n = fread(chunk, 1, sizeof chunk, in_file)) > 0)
            fwrite(chunk, 1, n, record);
        fclose(in_file);
    }
    fclose(record);
    return 0;
}
