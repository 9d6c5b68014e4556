#include "setup.h"

#include <string.h>

#include "../app/app.h"
#include "../registry/keys.h"
#include "../registry/registry.h"
#include "../resources/resource.h"

enum { TYPE_SIZE = 512, MVX_TEMPLATE_SIZE = 20, ZIP_TEMPLATE_SIZE = 22 };

// Empty archives for the shell's "New" menu. The first byte is set only in
// a working copy, so the program file never holds a whole signature (a
// scanner would otherwise take the program for an archive).
static const unsigned char g_mvxTemplate[MVX_TEMPLATE_SIZE] = {
    0x00, 0x76, 0x78, 0x21, 0x1A, 0x07, 0x00, 0xCF, 0x90, 0x73,
    0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
static const unsigned char g_zipTemplate[ZIP_TEMPLATE_SIZE] = {
    0x00, 0x4B, 0x05, 0x06}; // end of central directory, all counts zero

struct ArchiveType {
    const char *extension;
    int id;
    const char *contentType;
    const unsigned char *data; // ShellNew template, or none
    DWORD size;
};

// Takes one type over: its previous owner and content type are saved
// first, unless Melvox owns it already; the ShellNew template goes with
// shell integration.
static void AssociateType(const ArchiveType &type, bool shellIntegration)
{
    char key[MAX_PATH];
    char previousType[TYPE_SIZE];
    char previousContent[TYPE_SIZE];
    ReadRegString(type.extension, "", previousType, "", sizeof previousType);
    ReadRegString(type.extension, "Content Type", previousContent, "", sizeof previousContent);
    // Once Melvox owns the type, the owner saved before it stays.
    if (!EqualsIgnoringCase(previousType, PROGID)) {
        FormatText(key, sizeof key, KEY_SETUP_FORMAT, type.extension);
        SetRegistryRoot(HKEY_CURRENT_USER);
        WriteRegString(key, "Type", previousType);
        WriteRegString(key, "Content", previousContent);
        SetRegistryRoot(HKEY_CLASSES_ROOT);
    }
    WriteRegString(type.extension, "", PROGID);
    WriteRegString(type.extension, "Content Type", type.contentType);
    if (shellIntegration && type.data != NULL) {
        // Only this key goes: its sub-keys, if another program made
        // any, are not ours to take, and "Data" is written over anyway.
        FormatText(key, sizeof key, "%s\\ShellNew", type.extension);
        DeleteRegKey(key);
        WriteRegBinary(key, "Data", type.data, type.size);
    }
}

// The class key of the Melvox type, its open command and its icon.
static void WriteProgId(bool havePath, const char *programPath, bool haveCommand, const char *command)
{
    WriteRegString(PROGID, "", "Melvox archive");
    // Quoted: unquoted, the system would try every prefix of a path with
    // blanks ("C:\Program.exe" for "C:\Program Files\...") first.
    if (haveCommand)
        WriteRegString(PROGID "\\shell\\open\\command", "", command);
    // A path that does not fit is left out rather than registered cut short.
    char iconLocation[MAX_PATH];
    if (havePath && FormatText(iconLocation, sizeof iconLocation, "%s,0", programPath))
        WriteRegString(PROGID "\\DefaultIcon", "", iconLocation);
}

void ApplyAssociations(HWND hDlg)
{
    unsigned char mvxData[MVX_TEMPLATE_SIZE];
    unsigned char zipData[ZIP_TEMPLATE_SIZE];
    memcpy(mvxData, g_mvxTemplate, sizeof mvxData);
    memcpy(zipData, g_zipTemplate, sizeof zipData);
    mvxData[0] = 0x4D;
    zipData[0] = 0x50;

    const ArchiveType types[] = {
        {".mvx", IDC_ASSOC_MVX, "application/x-mvx-compressed", mvxData, sizeof mvxData},
        {".zip", IDC_ASSOC_ZIP, "application/x-compressed", zipData, sizeof zipData},
        {".cab", IDC_ASSOC_CAB, "application/x-compressed", NULL, 0},
        {".arj", IDC_ASSOC_ARJ, "application/x-compressed", NULL, 0},
        {".lzh", IDC_ASSOC_LZH, "application/x-compressed", NULL, 0},
    };

    bool shellIntegration = IsDlgButtonChecked(hDlg, IDC_SHELLEXT) != 0;

    // The open command is a command line, with room for every path. A type
    // taken over without it would open with nothing.
    char programPath[MAX_PATH];
    char command[MESSAGE_SIZE];
    bool havePath = GetInstallPath("Melvox.exe", programPath);
    bool haveCommand = havePath && FormatText(command, sizeof command, "\"%s\" \"%%1\"", programPath);

    char key[MAX_PATH];
    SetRegistryRoot(HKEY_CURRENT_USER);
    for (const ArchiveType &type : types) {
        FormatText(key, sizeof key, KEY_SETUP_FORMAT, type.extension);
        WriteRegDword(key, "Associated", IsDlgButtonChecked(hDlg, type.id) != 0 ? 1 : 0);
    }

    SetRegistryRoot(HKEY_CLASSES_ROOT);
    for (const ArchiveType &type : types)
        if (haveCommand && IsDlgButtonChecked(hDlg, type.id))
            AssociateType(type, shellIntegration);
    WriteProgId(havePath, programPath, haveCommand, command);
}
