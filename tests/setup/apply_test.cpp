// The Setup dialog's stored choices and the three apply steps, run in this
// process against the prefix's registry and the user's shell folders. The
// dialog is the real "SETUPDLG", hidden; each test sets its check boxes.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "registry/registry.h"
#include "resource.h"
#include "setup/setup.h"
#include "setup_helpers.h"
#include "testsupport.h"

using namespace testsupport;
using namespace setuptest;

namespace {

const char SETUP_KEY[] = "Software\\Melvox\\Setup";
const char CLSID_TEXT[] = "{6F3A9C21-5D47-4E8B-B2C9-1A7E03D5F846}";
const char UNINSTALL_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Melvox archiver";
const char APP_PATH_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Melvox.exe";
const char APPROVED_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

const char *const EXTENSIONS[] = {".mvx", ".zip", ".cab", ".arj", ".lzh"};

std::string ReadString(HKEY root, const std::string &key, const std::string &name)
{
    std::string text;
    if (!RegReadString(root, key, name, &text))
        return "<missing>";
    return text;
}

DWORD ReadDword(HKEY root, const std::string &key, const std::string &name)
{
    DWORD number = 99;
    RegReadDword(root, key, name, &number);
    return number;
}

std::string SavedKey(const char *extension)
{
    return std::string(SETUP_KEY) + "\\" + extension;
}

// The program group that the Completion dialog would open: by its UTF-16
// name on the NT family, by its ANSI name on the 95 family; never both.
std::string RecordedGroup()
{
    char wide[MAX_PATH];
    WideCharToMultiByte(CP_ACP, 0, g_wszProgramGroup, -1, wide, MAX_PATH, NULL, NULL);
    return g_szProgramGroup + std::string(wide);
}

std::vector<unsigned char> Bytes(std::initializer_list<int> values)
{
    std::vector<unsigned char> bytes;
    for (int v : values)
        bytes.push_back((unsigned char)v);
    return bytes;
}


// A folder under base whose full path is exactly length characters long.
std::string MakeFolderOfLength(const std::string &base, size_t length)
{
    std::string path = base;
    while (path.size() < length) {
        size_t room = length - path.size() - 1; // after the backslash
        if (room > 100 && room - 100 < 2)
            room = 90; // leave room for one more component
        path += "\\" + std::string(room > 100 ? 100 : room, 'd');
        CreateDirectoryA(path.c_str(), NULL);
    }
    return path;
}

class SetupApply : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_hProgram = g_hResources = GetModuleHandleA(NULL);
        g_szProgramGroup[0] = '\0';
        g_wszProgramGroup[0] = 0;
        SetRegistryRoot(HKEY_CLASSES_ROOT);
        RemoveAllMelvoxKeys();
        RemoveSetupLinks();
        install = MakeTempFolder("Install Folder");
        current = new CurrentDirectory(install);
        dialog = CreateHiddenSetupDialog();
        ASSERT_TRUE(dialog != NULL);
        // Reading the stored choices borrows HKEY_CURRENT_USER.
        ASSERT_EQ(HKEY_CLASSES_ROOT, g_hRegRoot);
    }

    void TearDown() override
    {
        DestroyWindow(dialog);
        delete current;
        RemoveTree(install);
        RemoveAllMelvoxKeys();
        RemoveSetupLinks();
        g_szProgramGroup[0] = '\0';
        g_wszProgramGroup[0] = 0;
    }

    std::string install;
    CurrentDirectory *current = nullptr;
    HWND dialog = NULL;
};

// ---- The dialogs themselves ----

TEST_F(SetupApply, DialogsCarryTheIconAndTheCompletionShowsTheFolder)
{
    g_hDialogIcon = LoadIconA(g_hResources, "MVXICON");
    g_hBoldFont = (HFONT)GetStockObject(SYSTEM_FONT);
    DestroyWindow(dialog);
    dialog = CreateHiddenSetupDialog();
    EXPECT_EQ((LRESULT)g_hDialogIcon, SendMessageA(dialog, WM_GETICON, ICON_BIG, 0));

    for (const std::string &folder : {install, std::string("C:\\")}) {
        CurrentDirectory here(folder);
        HWND done = CreateHiddenDialog("DONEDLG", DoneDialogProc, (LPARAM)dialog);
        ASSERT_TRUE(done != NULL);
        EXPECT_EQ((LRESULT)g_hDialogIcon, SendMessageA(done, WM_GETICON, ICON_BIG, 0));
        EXPECT_EQ((LRESULT)g_hBoldFont, SendDlgItemMessageA(done, IDC_THANKS, WM_GETFONT, 0, 0));
        EXPECT_EQ(folder, ControlText(done, IDC_FOLDER)); // a root keeps its backslash
        DestroyWindow(done);
    }
    g_hDialogIcon = NULL;
    g_hBoldFont = NULL;
}

// ---- ApplyAssociations ----

TEST_F(SetupApply, AssociatesOnlyCheckedTypesAndStoresEveryState)
{
    CheckOnly(dialog, {IDC_ASSOC_MVX, IDC_ASSOC_ARJ, IDC_ASSOC_LZH, IDC_SHELLEXT});
    ApplyAssociations(dialog);
    EXPECT_EQ(HKEY_CLASSES_ROOT, g_hRegRoot);

    const struct {
        const char *extension;
        DWORD associated;
        const char *contentType;
    } rows[] = {
        {".mvx", 1, "application/x-mvx-compressed"},
        {".zip", 0, nullptr},
        {".cab", 0, nullptr},
        {".arj", 1, "application/x-compressed"},
        {".lzh", 1, "application/x-compressed"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.extension);
        EXPECT_EQ(row.associated, ReadDword(HKEY_CURRENT_USER, SavedKey(row.extension), "Associated"));
        if (row.contentType) {
            EXPECT_EQ("Melvox", ReadString(HKEY_CLASSES_ROOT, row.extension, ""));
            EXPECT_EQ(row.contentType, ReadString(HKEY_CLASSES_ROOT, row.extension, "Content Type"));
        } else {
            EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, row.extension));
            EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, SavedKey(row.extension), "Type"));
        }
    }
    // Shell integration is checked, but only types with a template get one.
    EXPECT_TRUE(RegValueExists(HKEY_CLASSES_ROOT, ".mvx\\ShellNew", "Data"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ".arj\\ShellNew"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ".lzh\\ShellNew"));
}

TEST_F(SetupApply, SavesThePreviousOwnerUnlessMelvoxOwnsTheType)
{
    // Each row sets up one extension before the run.
    struct Case {
        const char *extension;
        const char *ownerBefore;   // nullptr: no class key at all
        const char *contentBefore; // nullptr: no "Content Type" value
        const char *savedType;     // nullptr: nothing saved
        const char *savedContent;
    };
    const Case cases[] = {
        {".mvx", nullptr, nullptr, "", ""},
        {".zip", "WinZip", "application/zip", "WinZip", "application/zip"},
        {".cab", "CABFolder", nullptr, "CABFolder", ""},
        {".arj", "MELVOX", "text/old", nullptr, nullptr},
        {".lzh", "melvox", nullptr, nullptr, nullptr},
    };
    for (const Case &c : cases) {
        if (c.ownerBefore)
            RegSetString(HKEY_CLASSES_ROOT, c.extension, "", c.ownerBefore);
        if (c.contentBefore)
            RegSetString(HKEY_CLASSES_ROOT, c.extension, "Content Type", c.contentBefore);
    }
    CheckOnly(dialog, {5101, 5102, 5103, 5104, 5105});
    ApplyAssociations(dialog);

    for (const Case &c : cases) {
        SCOPED_TRACE(c.extension);
        if (c.savedType) {
            EXPECT_EQ(c.savedType, ReadString(HKEY_CURRENT_USER, SavedKey(c.extension), "Type"));
            EXPECT_EQ(c.savedContent, ReadString(HKEY_CURRENT_USER, SavedKey(c.extension), "Content"));
        } else {
            EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, SavedKey(c.extension), "Type"));
            EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, SavedKey(c.extension), "Content"));
        }
        EXPECT_EQ("Melvox", ReadString(HKEY_CLASSES_ROOT, c.extension, ""));
    }
    EXPECT_EQ("application/x-compressed", ReadString(HKEY_CLASSES_ROOT, ".arj", "Content Type"));
}

TEST_F(SetupApply, SecondRunKeepsTheOwnerSavedByTheFirst)
{
    RegSetString(HKEY_CLASSES_ROOT, ".zip", "", "WinZip");
    RegSetString(HKEY_CLASSES_ROOT, ".zip", "Content Type", "application/zip");
    CheckOnly(dialog, {IDC_ASSOC_ZIP});
    ApplyAssociations(dialog);
    ApplyAssociations(dialog);
    EXPECT_EQ("WinZip", ReadString(HKEY_CURRENT_USER, SavedKey(".zip"), "Type"));
    EXPECT_EQ("application/zip", ReadString(HKEY_CURRENT_USER, SavedKey(".zip"), "Content"));

    // A type cleared later keeps its association; only the choice changes.
    CheckOnly(dialog, {});
    ApplyAssociations(dialog);
    EXPECT_EQ("Melvox", ReadString(HKEY_CLASSES_ROOT, ".zip", ""));
    EXPECT_EQ(0u, ReadDword(HKEY_CURRENT_USER, SavedKey(".zip"), "Associated"));
}

TEST_F(SetupApply, ShellNewTemplatesHaveTheirExactBytes)
{
    // An older template of another program: its values must not survive.
    RegSetString(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "NullFile", "");
    RegSetString(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "Command", "other.exe");
    CheckOnly(dialog, {5101, 5102, 5103, 5104, 5105, IDC_SHELLEXT});
    ApplyAssociations(dialog);

    DWORD type = 0;
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(RegReadRaw(HKEY_CLASSES_ROOT, ".mvx\\ShellNew", "Data", &type, &bytes));
    EXPECT_EQ((DWORD)REG_BINARY, type);
    EXPECT_EQ(Bytes({0x4D, 0x76, 0x78, 0x21, 0x1A, 0x07, 0x00, 0xCF, 0x90, 0x73,
                     0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}),
              bytes);
    ASSERT_TRUE(RegReadRaw(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "Data", &type, &bytes));
    EXPECT_EQ((DWORD)REG_BINARY, type);
    std::vector<unsigned char> zip(22, 0);
    zip[0] = 0x50, zip[1] = 0x4B, zip[2] = 0x05, zip[3] = 0x06;
    EXPECT_EQ(zip, bytes);
    EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "NullFile"));
    EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "Command"));
    for (const char *extension : {".cab", ".arj", ".lzh"})
        EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, std::string(extension) + "\\ShellNew")) << extension;

    // The static templates are not changed by a run: a second one gives
    // the same bytes again.
    ApplyAssociations(dialog);
    ASSERT_TRUE(RegReadRaw(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "Data", &type, &bytes));
    EXPECT_EQ(zip, bytes);
}

TEST_F(SetupApply, WithoutShellIntegrationNoShellNewIsTouched)
{
    RegSetString(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "FileName", "template.zip");
    CheckOnly(dialog, {5101, 5102, 5103, 5104, 5105});
    ApplyAssociations(dialog);
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ".mvx\\ShellNew"));
    EXPECT_EQ("template.zip", ReadString(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "FileName"));
    EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "Data"));
}

TEST_F(SetupApply, ProgIdQuotesTheProgramOnlyInTheOpenCommand)
{
    struct Case {
        std::string folder;
        std::string program;
    };
    const Case cases[] = {
        {install, install + "\\Melvox.exe"},  // contains a space
        {install + "\\", install + "\\Melvox.exe"},
        {"C:\\", "C:\\Melvox.exe"},           // no doubled backslash
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.folder);
        CurrentDirectory here(c.folder);
        CheckOnly(dialog, {}); // the prog-id is written even so
        ApplyAssociations(dialog);
        for (const char *extension : EXTENSIONS) {
            EXPECT_EQ(0u, ReadDword(HKEY_CURRENT_USER, SavedKey(extension), "Associated")) << extension;
            EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, extension)) << extension;
        }
        EXPECT_EQ("Melvox archive", ReadString(HKEY_CLASSES_ROOT, "Melvox", ""));
        EXPECT_EQ("\"" + c.program + "\" \"%1\"",
                  ReadString(HKEY_CLASSES_ROOT, "Melvox\\shell\\open\\command", ""));
        EXPECT_EQ(c.program + ",0", ReadString(HKEY_CLASSES_ROOT, "Melvox\\DefaultIcon", ""));
    }
}

// ---- ApplyShellIntegration ----

TEST_F(SetupApply, ShellExtensionOnlyWithTheBoxSystemEntriesAlways)
{
    const std::string clsid = CLSID_TEXT;
    const struct {
        std::string key, value, data;
    } rows[] = {
        {"CLSID\\" + clsid, "", "Melvox"},
        {"CLSID\\" + clsid + "\\InProcServer32", "", install + "\\mvxext.dll"},
        {"CLSID\\" + clsid + "\\InProcServer32", "ThreadingModel", "Apartment"},
        {"Melvox\\shellex\\ContextMenuHandlers\\" + clsid, "", ""},
        {"Melvox\\shellex\\PropertySheetHandlers\\" + clsid, "", ""},
        {"exefile\\shellex\\PropertySheetHandlers\\" + clsid, "", ""},
        {"Melvox\\shellex\\DropHandler", "", clsid},
        {"*\\shellex\\ContextMenuHandlers\\Melvox", "", clsid},
        {"Folder\\shellex\\ContextMenuHandlers\\Melvox", "", clsid},
        {"Folder\\shellex\\DragDropHandlers\\Melvox", "", clsid},
        {"Drives\\shellex\\ContextMenuHandlers\\Melvox", "", clsid},
    };

    CheckOnly(dialog, {});
    ApplyShellIntegration(dialog);
    EXPECT_EQ(HKEY_CLASSES_ROOT, g_hRegRoot);
    for (const auto &row : rows)
        EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, row.key)) << row.key;
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, "Melvox"));

    // The system entries do not depend on the box. The application path
    // follows the program (this test program), "Path" the current folder.
    char program[MAX_PATH];
    GetModuleFileNameA(NULL, program, MAX_PATH);
    std::string programFolder(program, PointToName(program) - program);
    EXPECT_EQ("Melvox archiver", ReadString(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "DisplayName"));
    EXPECT_EQ("\"" + std::string(program) + "\"", ReadString(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "UninstallString"));
    EXPECT_EQ(programFolder + "Melvox.exe", ReadString(HKEY_LOCAL_MACHINE, APP_PATH_KEY, ""));
    EXPECT_EQ(install, ReadString(HKEY_LOCAL_MACHINE, APP_PATH_KEY, "Path"));
    EXPECT_EQ("Melvox shell extension", ReadString(HKEY_LOCAL_MACHINE, APPROVED_KEY, CLSID_TEXT));

    CheckOnly(dialog, {IDC_SHELLEXT});
    ApplyShellIntegration(dialog);
    EXPECT_EQ(HKEY_CLASSES_ROOT, g_hRegRoot);
    for (const auto &row : rows)
        EXPECT_EQ(row.data, ReadString(HKEY_CLASSES_ROOT, row.key, row.value)) << row.key;
}

TEST_F(SetupApply, ShellIntegrationAtADriveRoot)
{
    CurrentDirectory root("C:\\");
    CheckOnly(dialog, {IDC_SHELLEXT});
    ApplyShellIntegration(dialog);
    EXPECT_EQ("C:\\mvxext.dll", ReadString(HKEY_CLASSES_ROOT,
                                           std::string("CLSID\\") + CLSID_TEXT + "\\InProcServer32", ""));
    EXPECT_EQ("C:\\", ReadString(HKEY_LOCAL_MACHINE, APP_PATH_KEY, "Path"));
}

// ---- Install folders too long for some of the paths ----

TEST_F(SetupApply, AValueThatWouldNotFitIsLeftOutNotCut)
{
    // program path = folder + 11 and icon location = program + 2 fit 259
    // characters; the open command (program + 7, quoted) fits its command
    // line whenever the program path fits. Without it no type is taken.
    const struct {
        size_t length;
        bool command, icon;
    } cases[] = {
        {241, true, true},
        {242, true, true},
        {246, true, true},
        {247, true, false},
        {248, true, false},
        {249, false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.length);
        RemoveAllMelvoxKeys();
        std::string folder = MakeFolderOfLength(install, c.length);
        ASSERT_EQ(c.length, folder.size());
        RegSetString(HKEY_CLASSES_ROOT, ".mvx", "", "Other.Mvx");
        CurrentDirectory here(folder);
        CheckOnly(dialog, {IDC_ASSOC_MVX});
        ApplyAssociations(dialog);
        std::string command, icon;
        EXPECT_EQ(c.command, RegReadString(HKEY_CLASSES_ROOT, "Melvox\\shell\\open\\command", "", &command));
        EXPECT_EQ(c.icon, RegReadString(HKEY_CLASSES_ROOT, "Melvox\\DefaultIcon", "", &icon));
        if (c.command)
            EXPECT_EQ("\"" + folder + "\\Melvox.exe\" \"%1\"", command);
        if (c.icon)
            EXPECT_EQ(folder + "\\Melvox.exe,0", icon);
        // The rest of the step is not affected.
        EXPECT_EQ("Melvox archive", ReadString(HKEY_CLASSES_ROOT, "Melvox", ""));
        EXPECT_EQ(c.command ? "Melvox" : "Other.Mvx", ReadString(HKEY_CLASSES_ROOT, ".mvx", ""));
        EXPECT_EQ(c.command, RegValueExists(HKEY_CURRENT_USER, SavedKey(".mvx"), "Type"));
        EXPECT_EQ(HKEY_CLASSES_ROOT, g_hRegRoot);
    }
}

TEST_F(SetupApply, LongInstallFolderSkipsOnlyTheModuleAndLinksThatDoNotFit)
{
    const std::string inproc = std::string("CLSID\\") + CLSID_TEXT + "\\InProcServer32";
    for (size_t length : {248u, 249u}) {
        SCOPED_TRACE(length);
        RemoveAllMelvoxKeys();
        RemoveSetupLinks();
        std::string folder = MakeFolderOfLength(install, length);
        CurrentDirectory here(folder);
        CheckOnly(dialog, {IDC_SHELLEXT, IDC_DESKTOP, IDC_PROGRAMS});
        ApplyShellIntegration(dialog);
        ApplyShortcuts(dialog);
        bool fits = length == 248; // folder + "\\Melvox.exe" is 259
        std::string module;
        EXPECT_EQ(fits, RegReadString(HKEY_CLASSES_ROOT, inproc, "", &module));
        EXPECT_EQ("Apartment", ReadString(HKEY_CLASSES_ROOT, inproc, "ThreadingModel"));
        EXPECT_EQ(folder, ReadString(HKEY_LOCAL_MACHINE, APP_PATH_KEY, "Path"));
        EXPECT_EQ(fits, FileExists(DesktopLink()));
        EXPECT_EQ(fits, FileExists(Join(ProgramGroup(), "Melvox.lnk")));
        EXPECT_EQ(fits, FileExists(Join(ProgramGroup(), "Melvox help.lnk")));
        // "Mvx.txt" is three characters shorter and still fits.
        LinkInfo manual;
        ASSERT_TRUE(ReadLink(Join(ProgramGroup(), "Console MVX manual.lnk"), &manual));
        EXPECT_EQ(folder + "\\Mvx.txt", manual.target);
        EXPECT_EQ(ProgramGroup(), RecordedGroup());
    }
}

// ---- ApplyShortcuts and CreateShellLink ----

TEST_F(SetupApply, NoShortcutChosenMakesNoFiles)
{
    CheckOnly(dialog, {});
    ApplyShortcuts(dialog);
    EXPECT_EQ(HKEY_CLASSES_ROOT, g_hRegRoot);
    for (const char *name : {"Desktop", "StartMenu", "Programs"})
        EXPECT_EQ(0u, ReadDword(HKEY_CURRENT_USER, std::string(SETUP_KEY) + "\\Links", name)) << name;
    EXPECT_EQ(0u, ReadDword(HKEY_CURRENT_USER, SETUP_KEY, "ShellExt"));
    EXPECT_FALSE(FileExists(DesktopLink()));
    EXPECT_FALSE(FileExists(StartMenuLink()));
    EXPECT_FALSE(FolderExists(ProgramGroup()));
    EXPECT_EQ("", RecordedGroup());
}

TEST_F(SetupApply, DesktopAndStartMenuLinksPointAtTheProgram)
{
    CheckOnly(dialog, {IDC_DESKTOP, IDC_STARTMENU, IDC_SHELLEXT});
    ApplyShortcuts(dialog);
    for (const char *name : {"Desktop", "StartMenu"})
        EXPECT_EQ(1u, ReadDword(HKEY_CURRENT_USER, std::string(SETUP_KEY) + "\\Links", name)) << name;
    EXPECT_EQ(0u, ReadDword(HKEY_CURRENT_USER, std::string(SETUP_KEY) + "\\Links", "Programs"));
    EXPECT_EQ(1u, ReadDword(HKEY_CURRENT_USER, SETUP_KEY, "ShellExt"));

    for (const std::string &path : {DesktopLink(), StartMenuLink()}) {
        SCOPED_TRACE(path);
        LinkInfo link;
        ASSERT_TRUE(ReadLink(path, &link));
        EXPECT_EQ(install + "\\Melvox.exe", link.target);
        EXPECT_EQ("Melvox", link.description);
        EXPECT_EQ("", link.arguments);
        EXPECT_EQ("", link.workingDirectory);
    }
    EXPECT_FALSE(FolderExists(ProgramGroup()));
    EXPECT_EQ("", RecordedGroup());
}

TEST_F(SetupApply, ProgramGroupHasThreeLinksAndIsReused)
{
    CheckOnly(dialog, {IDC_PROGRAMS});
    ApplyShortcuts(dialog);
    const std::string group = ProgramGroup();
    EXPECT_EQ(group, RecordedGroup());
    EXPECT_EQ(0, g_szProgramGroup[0]) << "the NT family names it in UTF-16";
    WriteFileText(Join(group, "user note.txt"), "kept");

    // Again, on the 95 family's ANSI road: the folder and its other files
    // stay, and the same links are written over the first ones.
    g_wszProgramGroup[0] = 0;
    const DWORD platform = g_osVersion.dwPlatformId;
    g_osVersion.dwPlatformId = PLATFORM_WIN9X;
    ApplyShortcuts(dialog);
    g_osVersion.dwPlatformId = platform;
    EXPECT_EQ(group, g_szProgramGroup);
    EXPECT_TRUE(FileExists(Join(group, "user note.txt")));
    const struct {
        const char *file, *target;
    } links[] = {
        {"Melvox.lnk", "Melvox.exe"},
        {"Melvox help.lnk", "Melvox.hlp"},
        {"Console MVX manual.lnk", "Mvx.txt"},
    };
    for (const auto &l : links) {
        SCOPED_TRACE(l.file);
        LinkInfo link;
        ASSERT_TRUE(ReadLink(Join(group, l.file), &link));
        EXPECT_EQ(Join(install, l.target), link.target); // targets need not exist
        EXPECT_EQ("Melvox", link.description);
        EXPECT_EQ("", link.arguments);
    }
    EXPECT_FALSE(FileExists(DesktopLink()));
    EXPECT_FALSE(FileExists(StartMenuLink()));
}

TEST_F(SetupApply, TranslatedLinkNamesStayInTheGroupFolder)
{
    // A language module whose link names hold path separators.
    HMODULE module = LoadLibraryExA(BuiltFile("tests/fixtures/lang/badnames/mvxlng.dll").c_str(),
                                    NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module != NULL);
    g_hResources = module;
    CheckOnly(dialog, {IDC_PROGRAMS});
    ApplyShortcuts(dialog);
    g_hResources = GetModuleHandleA(NULL);
    FreeLibrary(module);

    const std::string programs = SpecialFolder(CSIDL_PROGRAMS);
    EXPECT_TRUE(FileExists(Join(ProgramGroup(), "Melvox.lnk")));
    EXPECT_FALSE(FileExists(Join(programs, "Escaped help.lnk")));
    DeleteFileA(Join(programs, "Escaped help.lnk").c_str());
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(Join(ProgramGroup(), "*").c_str(), &found);
    int files = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            files += !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    EXPECT_EQ(1, files) << "only the link with a fixed name belongs in the group";
}

TEST_F(SetupApply, NoGroupIsRecordedWhenItsFolderCannotBeMade)
{
    ASSERT_TRUE(WriteFileText(ProgramGroup(), "a file, not a folder"));
    CheckOnly(dialog, {IDC_PROGRAMS});
    ApplyShortcuts(dialog);
    EXPECT_EQ("", RecordedGroup()); // Done then opens nothing
    EXPECT_TRUE(FileExists(ProgramGroup()));
}

TEST_F(SetupApply, ShellLinkRefusesWhatItCannotSave)
{
    const std::string folder = MakeTempFolder("links");
    const std::string target = install + "\\Melvox.exe";

    EXPECT_EQ(S_OK, CreateShellLink(target.c_str(), Join(folder, "ok.lnk").c_str(), "Melvox"));
    EXPECT_TRUE(FileExists(Join(folder, "ok.lnk")));
    // The NT family's road writes the same bytes into a new file renamed
    // over the name, which may hold another file: nothing else is left.
    WriteFileText(Join(folder, "wide.lnk"), "an older file");
    const std::string widePath = Join(folder, "wide.lnk"); // ASCII
    const std::wstring wide(widePath.begin(), widePath.end());
    EXPECT_EQ(S_OK, CreateShellLink(target.c_str(), wide.c_str(), "Melvox"));
    std::string narrowBytes, wideBytes;
    EXPECT_TRUE(ReadFileText(Join(folder, "ok.lnk"), &narrowBytes) && ReadFileText(Join(folder, "wide.lnk"), &wideBytes));
    EXPECT_EQ(narrowBytes, wideBytes);
    const std::wstring wideMissing(wide.substr(0, wide.rfind(L'\\')) + L"\\missing\\x.lnk");
    EXPECT_TRUE(FAILED(CreateShellLink(target.c_str(), wideMissing.c_str(), "Melvox")));
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(Join(folder, "*").c_str(), &found);
    int files = 0;
    do
        files += !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    while (FindNextFileA(search, &found));
    FindClose(search);
    EXPECT_EQ(2, files) << "a temporary file stayed";

    // A link path of MAX_PATH characters or more would be cut short.
    std::string longName = Join(folder, std::string(MAX_PATH, 'a') + ".lnk");
    EXPECT_TRUE(FAILED(CreateShellLink(target.c_str(), longName.c_str(), "Melvox")));
    std::string longTarget = install + "\\" + std::string(MAX_PATH, 'b') + ".exe";
    EXPECT_TRUE(FAILED(CreateShellLink(longTarget.c_str(), Join(folder, "long.lnk").c_str(), "Melvox")));
    EXPECT_FALSE(FileExists(Join(folder, "long.lnk")));

    // A save that fails is reported, not taken for success.
    EXPECT_TRUE(FAILED(CreateShellLink(target.c_str(), Join(folder, "missing\\x.lnk").c_str(), "Melvox")));
    RemoveTree(folder);
}

} // namespace
