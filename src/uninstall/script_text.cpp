#include "script_text.h"

#include <string.h>

#include "../app/text.h"

// Appends format to the buffer, putting the next path of paths in place of
// each "%s" with every '%' doubled. Other characters are copied as they
// stand. False when the buffer is full.
static bool AppendScript(char *buffer, size_t size, size_t *used, const char *format,
                         const char *const *paths)
{
    for (const char *p = format; *p; p++) {
        const char *text = p;
        size_t length = 1;
        bool isPath = p[0] == '%' && p[1] == 's';
        if (isPath) {
            text = *paths++;
            length = strlen(text);
            p++;
        }
        for (size_t i = 0; i < length; i++) {
            bool twice = isPath && text[i] == '%';
            for (int k = twice ? 2 : 1; k > 0; k--) {
                if (*used + 1 >= size)
                    return false;
                buffer[(*used)++] = text[i];
            }
        }
    }
    buffer[*used] = '\0';
    return true;
}

size_t ComposeCleanupScript(char *buffer, size_t size, int platformId,
                            const char *programPath, const char *folder,
                            const char *scriptPath, const char *scriptFolder)
{
    if (size == 0)
        return 0;
    buffer[0] = '\0';
    size_t used = 0;
    const char *const first[] = {programPath};
    const char *const block[] = {programPath, folder, programPath};
    const char *const tail[] = {programPath, programPath, scriptPath};
    const char *const own[] = {scriptFolder};
    // On the Windows 95 family the interpreter does not wait for a GUI
    // program it runs; start /wait makes it.
    bool fits = AppendScript(buffer, size, &used,
                             platformId == 1 ? "start /wait \"%s\" /wait\r\n"
                                             : "\"%s\" /wait\r\n",
                             first);
    for (int i = 0; i < 5 && fits; i++)
        fits = AppendScript(buffer, size, &used,
                            "del \"%s\"\r\nrd \"%s\"\r\nif not exist \"%s\" goto done\r\n", block);
    fits = fits && AppendScript(buffer, size, &used,
                                ":done\r\nif exist \"%s\" \"%s\" /warning\r\ndel \"%s\"", tail);
    if (scriptFolder != NULL)
        fits = fits && AppendScript(buffer, size, &used, " & rd \"%s\"", own);
    if (!fits) {
        buffer[0] = '\0';
        return 0;
    }
    return used;
}

bool ComposeInterpreterCommand(char *command, size_t size, int platformId,
                               const char *interpreter, const char *scriptPath)
{
    bool fits = platformId == 1
                    ? FormatText(command, size, "%s /c \"%s\"", interpreter, scriptPath)
                    : FormatText(command, size, "\"%s\" /d /v:off /s /c \"\"%s\"\"", interpreter, scriptPath);
    if (!fits && size > 0)
        command[0] = '\0';
    return fits;
}

bool NeedsOemConversion(const char *path, unsigned ansiCodePage, unsigned oemCodePage)
{
    if (ansiCodePage == oemCodePage)
        return false;
    for (const char *p = path; *p; p++)
        if ((unsigned char)*p >= 0x80)
            return true;
    return false;
}

bool IsExactConversion(const wchar_t *original, const wchar_t *readBack)
{
    while (*original && *original == *readBack) {
        original++;
        readBack++;
    }
    return *original == *readBack;
}
