// uninstall.exe /setup run as the installer runs it: copied into a sample
// install folder whose path has a space, started there, and driven from
// this process through its windows.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "resource.h"
#include "setup_helpers.h"
#include "testsupport.h"

using namespace testsupport;
using namespace setuptest;

namespace {

const char CAPTION[] = "Melvox Setup";
const char CLSID_TEXT[] = "{6F3A9C21-5D47-4E8B-B2C9-1A7E03D5F846}";
const char WINDOWS_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\";

// Both dialogs have the same caption; their first button tells them apart.
HWND WaitForSetupDialog(DWORD pid, const char *okText, DWORD milliseconds = 15000)
{
    return WaitForDialog(CAPTION, pid, milliseconds, okText);
}

bool WaitUntilHidden(HWND window, DWORD milliseconds = 5000)
{
    DWORD start = GetTickCount();
    while (IsWindowVisible(window)) {
        if (GetTickCount() - start > Patience(milliseconds))
            return false;
        Sleep(50);
    }
    return true;
}

// Lists, through the prefix's reg.exe, every key and value setup writes,
// and the links in the program group.
void PrintWhatSetupWrote()
{
    const std::string clsid = CLSID_TEXT, windows = std::string("HKLM\\") + WINDOWS_KEY;
    const std::string queries[] = {
        "HKCU\\Software\\Melvox /s", "HKCR\\.mvx /s", "HKCR\\.zip /s", "HKCR\\.cab /s",
        "HKCR\\.arj /s", "HKCR\\.lzh /s", "HKCR\\Melvox /s", "HKCR\\CLSID\\" + clsid + " /s",
        "HKCR\\exefile\\shellex\\PropertySheetHandlers\\" + clsid,
        "HKCR\\*\\shellex\\ContextMenuHandlers\\Melvox",
        "HKCR\\Folder\\shellex\\ContextMenuHandlers\\Melvox",
        "HKCR\\Folder\\shellex\\DragDropHandlers\\Melvox",
        "HKCR\\Drives\\shellex\\ContextMenuHandlers\\Melvox",
        "\"" + windows + "Uninstall\\Melvox archiver\"",
        "\"" + windows + "App Paths\\Melvox.exe\"",
        "\"" + windows + "Shell Extensions\\Approved\" /v " + clsid,
    };
    fflush(stdout);
    for (const std::string &query : queries)
        RunAndWait("C:\\windows\\system32\\reg.exe", "query " + query, "");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(Join(ProgramGroup(), "*.lnk").c_str(), &found);
    while (search != INVALID_HANDLE_VALUE) {
        LinkInfo link;
        std::string path = Join(ProgramGroup(), found.cFileName);
        if (ReadLink(path, &link))
            printf("%s -> %s (\"%s\")\n", path.c_str(), link.target.c_str(), link.description.c_str());
        if (!FindNextFileA(search, &found)) {
            FindClose(search);
            break;
        }
    }
}

class SetupRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveAllMelvoxKeys();
        RemoveSetupLinks();
        install = MakeProgramFilesFolder("Sample Install");
        program = Join(install, "uninstall.exe");
        ASSERT_TRUE(CopyFileTo(ProgramExe(), program));
    }

    void TearDown() override
    {
        process.Kill();
        RemoveAllMelvoxKeys();
        RemoveSetupLinks();
        RemoveTree(install);
    }

    HWND StartSetup()
    {
        if (!process.Start("\"" + program + "\" /setup", install))
            return NULL;
        return WaitForSetupDialog(process.pid, "OK");
    }

    void Screenshot(HWND window, const char *name)
    {
        // Painted before it is captured.
        RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Sleep(300);
        EXPECT_TRUE(SaveWindowPng(window, BuiltFile(name)));
    }

    std::string install, program;
    Process process;
};

std::string Read(HKEY root, const std::string &key, const std::string &name, REGSAM view = 0)
{
    std::string text;
    return RegReadString(root, key, name, &text, view) ? text : "<missing>";
}

TEST_F(SetupRun, FreshSystemShowsDefaultsAndCancelWritesNothing)
{
    HWND setup = StartSetup();
    ASSERT_TRUE(setup != NULL);
    const struct {
        int id;
        bool checked;
    } boxes[] = {{5101, true}, {5102, true},  {5103, true}, {5104, true}, {5105, true},
                 {5106, false}, {5107, false}, {5108, true}, {5109, true}};
    for (const auto &box : boxes)
        EXPECT_EQ(box.checked, IsChecked(setup, box.id)) << box.id;
    // The focus starts on OK: Enter would be OK.
    DWORD thread = GetWindowThreadProcessId(setup, NULL);
    GUITHREADINFO gui = {sizeof gui};
    ASSERT_TRUE(GetGUIThreadInfo(thread, &gui));
    EXPECT_EQ(GetDlgItem(setup, IDOK), gui.hwndFocus);

    SetChecked(setup, IDC_DESKTOP, true); // changed, then cancelled
    Press(setup, IDCANCEL);
    EXPECT_EQ(0u, process.Wait(15000));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "Software\\Melvox"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, ".mvx"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, "Melvox"));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, std::string(WINDOWS_KEY) + "Uninstall\\Melvox archiver"));
    EXPECT_FALSE(FileExists(DesktopLink()));
    EXPECT_FALSE(FolderExists(ProgramGroup()));
}

TEST_F(SetupRun, StoredChoicesAreShown)
{
    RegSetDword(HKEY_CURRENT_USER, "Software\\Melvox\\Setup\\.zip", "Associated", 0);
    RegSetDword(HKEY_CURRENT_USER, "Software\\Melvox\\Setup\\Links", "StartMenu", 1);
    RegSetDword(HKEY_CURRENT_USER, "Software\\Melvox\\Setup", "ShellExt", 0);
    RegSetDword(HKEY_CURRENT_USER, "Software\\Melvox\\Setup\\.lzh", "Associated", 2); // neither 0 nor 1
    HWND setup = StartSetup();
    ASSERT_TRUE(setup != NULL);
    const struct {
        int id;
        bool checked;
    } boxes[] = {{5101, true}, {5102, false}, {5103, true}, {5104, true}, {5105, true},
                 {5106, false}, {5107, true}, {5108, true}, {5109, false}};
    for (const auto &box : boxes)
        EXPECT_EQ(box.checked, IsChecked(setup, box.id)) << box.id;
    Press(setup, IDCANCEL);
    EXPECT_EQ(0u, process.Wait(15000));
}

TEST_F(SetupRun, OkAppliesEverythingAndDoneOpensTheGroup)
{
    HWND setup = StartSetup();
    ASSERT_TRUE(setup != NULL);
    Screenshot(setup, "setup-dialog.png");
    Press(setup, IDOK);

    HWND done = WaitForSetupDialog(process.pid, "Done");
    ASSERT_TRUE(done != NULL);
    EXPECT_EQ(install, ControlText(done, IDC_FOLDER));
    EXPECT_TRUE(WaitUntilHidden(setup));
    EXPECT_TRUE(IsWindow(setup));
    EXPECT_TRUE(IsWindowVisible(done));
    Screenshot(done, "completion-dialog.png");

    // Everything was applied before the Completion dialog showed.
    for (const char *extension : {".mvx", ".zip", ".cab", ".arj", ".lzh"})
        EXPECT_EQ("Melvox", Read(HKEY_CLASSES_ROOT, extension, "")) << extension;
    EXPECT_TRUE(RegValueExists(HKEY_CLASSES_ROOT, ".mvx\\ShellNew", "Data"));
    EXPECT_TRUE(RegValueExists(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "Data"));
    const std::string melvox = Join(install, "Melvox.exe");
    EXPECT_EQ("\"" + melvox + "\" \"%1\"", Read(HKEY_CLASSES_ROOT, "Melvox\\shell\\open\\command", ""));
    EXPECT_EQ(melvox + ",0", Read(HKEY_CLASSES_ROOT, "Melvox\\DefaultIcon", ""));
    EXPECT_EQ(Join(install, "mvxext.dll"),
              Read(HKEY_CLASSES_ROOT, std::string("CLSID\\") + CLSID_TEXT + "\\InProcServer32", ""));
    const std::string windows = WINDOWS_KEY;
    EXPECT_EQ("\"" + program + "\"",
              Read(HKEY_LOCAL_MACHINE, windows + "Uninstall\\Melvox archiver", "UninstallString"));
    EXPECT_EQ(melvox, Read(HKEY_LOCAL_MACHINE, windows + "App Paths\\Melvox.exe", ""));
    EXPECT_EQ(install, Read(HKEY_LOCAL_MACHINE, windows + "App Paths\\Melvox.exe", "Path"));
    // What the programs of the other kind read on 64-bit Windows (64-bit
    // Explorer, the system's list and ShellExecute for this 32-bit build):
    // the class keys, App Paths and the stored choices are shared between
    // the views; the CLSID, the approval and the uninstall entry stay in
    // the view of the program that wrote them, so a shell of the other kind
    // never loads an mvxext.dll built for this one. The 32-bit uninstall
    // entry reaches the 64-bit list through Wow6432Node.
    if (REGSAM other = OtherRegistryView()) {
        SCOPED_TRACE("the other registry view");
        // Wine takes KEY_WOW64_32KEY under the classes to Classes\Wow6432Node,
        // where the shared keys are not linked, though 32-bit programs do
        // see them: the 64-bit build leaves this to the 32-bit shell of the
        // end-to-end test.
        if (other == KEY_WOW64_64KEY) {
            for (const char *extension : {".mvx", ".zip", ".cab", ".arj", ".lzh"})
                EXPECT_EQ("Melvox", Read(HKEY_CLASSES_ROOT, extension, "", other)) << extension;
            EXPECT_EQ("\"" + melvox + "\" \"%1\"",
                      Read(HKEY_CLASSES_ROOT, "Melvox\\shell\\open\\command", "", other));
            EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, "*\\shellex\\ContextMenuHandlers\\Melvox", other));
        }
        EXPECT_EQ(melvox, Read(HKEY_LOCAL_MACHINE, windows + "App Paths\\Melvox.exe", "", other));
        DWORD shellExt = 0;
        EXPECT_TRUE(RegReadDword(HKEY_CURRENT_USER, "Software\\Melvox\\Setup", "ShellExt", &shellExt, other));
        EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, std::string("CLSID\\") + CLSID_TEXT, other));
        EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, windows + "Shell Extensions\\Approved", CLSID_TEXT, other));
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, windows + "Uninstall\\Melvox archiver", other));
        EXPECT_EQ("\"" + program + "\"",
                  Read(HKEY_LOCAL_MACHINE, UninstallEntryFor64BitClient(), "UninstallString", KEY_WOW64_64KEY));
    }
    DWORD programs = 0;
    EXPECT_TRUE(RegReadDword(HKEY_CURRENT_USER, "Software\\Melvox\\Setup\\Links", "Programs", &programs));
    EXPECT_EQ(1u, programs);
    EXPECT_TRUE(FileExists(Join(ProgramGroup(), "Melvox.lnk")));
    EXPECT_TRUE(FileExists(Join(ProgramGroup(), "Melvox help.lnk")));
    EXPECT_TRUE(FileExists(Join(ProgramGroup(), "Console MVX manual.lnk")));
    EXPECT_FALSE(FileExists(DesktopLink()));
    EXPECT_FALSE(FileExists(StartMenuLink()));

    // What one setup with the default choices leaves behind.
    PrintWhatSetupWrote();

    // An action button leaves the dialog open.
    Press(done, IDC_PRICELIST); // no register.frm: nothing happens
    Sleep(300);
    EXPECT_TRUE(IsWindow(done));

    Press(done, IDOK);
    EXPECT_EQ(0u, process.Wait(15000));
    EXPECT_TRUE(CloseOtherWindow("Melvox", 10000)) << "no folder window for the program group";
}

// The group removed while the Completion dialog is open, and a program
// planted beside it under the group's bare name: Done starts nothing and
// opens nothing.
TEST_F(SetupRun, DoneOpensNothingWhereTheGroupWas)
{
    const std::string record = Join(MakeTempFolder("planted"), "ran.txt");
    const std::string planted = Join(SpecialFolder(CSIDL_PROGRAMS), "Melvox.exe");
    SetEnvironmentVariableA("MELVOX_RECORDER_OUT", record.c_str());
    HWND setup = StartSetup();
    SetEnvironmentVariableA("MELVOX_RECORDER_OUT", NULL);
    ASSERT_TRUE(setup != NULL);
    Press(setup, IDOK);
    HWND done = WaitForSetupDialog(process.pid, "Done");
    ASSERT_TRUE(done != NULL);
    ASSERT_TRUE(RemoveTree(ProgramGroup()));
    ASSERT_TRUE(CopyFileTo(BuiltFile("tests/uninstall/interpreter_recorder.exe"), planted));
    Press(done, IDOK);
    EXPECT_EQ(0u, process.Wait(15000));
    EXPECT_FALSE(CloseOtherWindow("Melvox", 1500)) << "a folder window opened";
    EXPECT_FALSE(FileExists(record)) << "the planted program ran";
    DeleteFileA(planted.c_str());
}

TEST_F(SetupRun, EscInTheCompletionDialogEndsWithoutGroup)
{
    HWND setup = StartSetup();
    ASSERT_TRUE(setup != NULL);
    SetChecked(setup, IDC_PROGRAMS, false);
    SetChecked(setup, IDC_DESKTOP, true);
    Press(setup, IDOK);
    HWND done = WaitForSetupDialog(process.pid, "Done");
    ASSERT_TRUE(done != NULL);
    Press(done, IDCANCEL);
    EXPECT_EQ(0u, process.Wait(15000));
    EXPECT_FALSE(FolderExists(ProgramGroup()));
    EXPECT_FALSE(CloseOtherWindow("Melvox", 1500)) << "a folder window opened without a group";
    LinkInfo link;
    ASSERT_TRUE(ReadLink(DesktopLink(), &link));
    EXPECT_EQ(Join(install, "Melvox.exe"), link.target);
    DWORD stored = 9;
    RegReadDword(HKEY_CURRENT_USER, "Software\\Melvox\\Setup\\Links", "Programs", &stored);
    EXPECT_EQ(0u, stored);
}

TEST_F(SetupRun, ActionButtonsStartTheirProgramsAndLeaveTheDialogOpen)
{
    ASSERT_TRUE(CopyFileTo(BuiltFile("samples/stubs/Melvox.exe"), Join(install, "Melvox.exe")));
    ASSERT_TRUE(WriteFileText(Join(install, "register.frm"), "Price list\r\n"));
    HWND setup = StartSetup();
    ASSERT_TRUE(setup != NULL);
    SetChecked(setup, IDC_PROGRAMS, false);
    Press(setup, IDOK);
    HWND done = WaitForSetupDialog(process.pid, "Done");
    ASSERT_TRUE(done != NULL);

    // The quoted path with a space starts the program in it.
    Press(done, IDC_RUNMELVOX);
    EXPECT_TRUE(CloseOtherWindow("Melvox (sample)", 10000)) << "Melvox.exe did not start";
    // Notepad, with the form named in quotes.
    Press(done, IDC_PRICELIST);
    EXPECT_TRUE(CloseOtherWindow("register", 10000)) << "no editor for register.frm";
    EXPECT_TRUE(IsWindowVisible(done));
    EXPECT_EQ(STILL_ACTIVE, process.Wait(0));

    Press(done, IDOK);
    EXPECT_EQ(0u, process.Wait(15000));
}

} // namespace
