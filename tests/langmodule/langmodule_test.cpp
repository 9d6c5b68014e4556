// The German language module (samples/lang-de) against the program: its
// resources match the program's own in every id and layout, and with it
// beside uninstall.exe, setup and the uninstall speak German.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "resource.h"
#include "testsupport.h"

using namespace testsupport;

namespace {

const char kSetupCaption[] = "Melvox-Einrichtung";
const char kBoxCaption[] = "Melvox deinstallieren";

std::string GermanModule()
{
    return BuiltFile("samples/lang-de/mvxlng.dll");
}

// A folder (with a blank in its path) holding uninstall.exe and the module.
std::string MakeInstallFolder(const char *tag)
{
    std::string folder = MakeTempFolder(tag);
    EXPECT_TRUE(CopyFileTo(ProgramExe(), Join(folder, "uninstall.exe")));
    EXPECT_TRUE(CopyFileTo(GermanModule(), Join(folder, "mvxlng.dll")));
    return folder;
}

struct Module {
    HMODULE handle;
    explicit Module(const std::string &path)
        : handle(LoadLibraryExA(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~Module() { if (handle) FreeLibrary(handle); }
};

std::string LoadString(HMODULE module, UINT id)
{
    char text[512] = "";
    LoadStringA(module, id, text, sizeof text);
    return text;
}

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

// Every control of a dialog template, in template order, as the dialog
// manager created it: id, class, style and position in dialog units.
struct Control {
    int id;
    std::string cls;
    DWORD style;
    RECT rect;
    std::string text;
};

std::vector<Control> DialogControls(HMODULE module, const char *name, std::string *caption)
{
    std::vector<Control> controls;
    HWND dialog = CreateDialogParamA(module, name, NULL, QuietProc, 0);
    if (!dialog)
        return controls;
    char text[1024];
    GetWindowTextA(dialog, text, sizeof text);
    *caption = text;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        Control c;
        c.id = (short)GetDlgCtrlID(child);
        char cls[64] = "";
        GetClassNameA(child, cls, sizeof cls);
        c.cls = cls;
        c.style = (DWORD)GetWindowLongA(child, GWL_STYLE) & ~WS_VISIBLE;
        GetWindowRect(child, &c.rect);
        MapWindowPoints(NULL, dialog, reinterpret_cast<POINT *>(&c.rect), 2);
        GetWindowTextA(child, text, sizeof text);
        c.text = text;
        controls.push_back(c);
    }
    DestroyWindow(dialog);
    return controls;
}

// The Completion dialog is the one with the bold closing line but without
// the Setup dialog's shell-integration box (both share the caption).
struct DoneSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindDone(HWND window, LPARAM param)
{
    DoneSearch *search = reinterpret_cast<DoneSearch *>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && IsWindowVisible(window) && GetDlgItem(window, IDC_THANKS) &&
        !GetDlgItem(window, IDC_SHELLEXT)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForDone(DWORD pid)
{
    for (int i = 0; i < 300; i++) {
        DoneSearch search = {pid, NULL};
        EnumWindows(FindDone, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        Sleep(50);
    }
    return NULL;
}

// Done opens the program group; under Wine in a new explorer.exe whose
// current directory is the install folder and which holds the test's
// output open. Close its window, as a user would, so that it ends.
struct FolderSearch {
    DWORD skipPid;
    HWND found;
};

BOOL CALLBACK FindFolderWindow(HWND window, LPARAM param)
{
    FolderSearch *search = reinterpret_cast<FolderSearch *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (owner != search->skipPid && owner != GetCurrentProcessId() && IsWindowVisible(window) &&
        std::string(cls) != "#32770" && WindowText(window) == "Melvox") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

bool CloseFolderWindow(DWORD setupPid)
{
    for (int i = 0; i < 100; i++) {
        FolderSearch search = {setupPid, NULL};
        EnumWindows(FindFolderWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            DWORD pid = 0;
            GetWindowThreadProcessId(search.found, &pid);
            HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
            PostMessageA(search.found, WM_CLOSE, 0, 0);
            if (process) {
                WaitForSingleObject(process, 10000);
                CloseHandle(process);
            }
            return true;
        }
        Sleep(100);
    }
    return false;
}

std::string ProgramsFolder()
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(NULL, CSIDL_PROGRAMS, NULL, 0, path);
    return path;
}

class LanguageModule : public ::testing::Test {
protected:
    void SetUp() override { RemoveAllMelvoxKeys(); }
    void TearDown() override
    {
        RemoveAllMelvoxKeys();
        RemoveTree(Join(ProgramsFolder(), "Melvox"));
        if (!folder.empty())
            RemoveTree(folder);
    }
    std::string folder;
};

TEST_F(LanguageModule, CarriesEveryTextWithTheProgramsPlaceholders)
{
    Module german(GermanModule()), own(ProgramExe());
    ASSERT_TRUE(german.handle);
    ASSERT_TRUE(own.handle);
    for (UINT id = IDS_DISPLAYNAME; id <= IDS_LAST_TEXT; id++) {
        SCOPED_TRACE(id);
        std::string text = LoadString(german.handle, id);
        EXPECT_FALSE(text.empty());
        EXPECT_LE(text.size(), 255u);
        EXPECT_NE(text, LoadString(own.handle, id)) << "not translated";
        size_t percent = 0;
        for (char c : text)
            percent += c == '%';
        bool formats = id == IDS_DELETEMANUALLY || id == IDS_NOLIST ||
                       (id >= IDS_PROGRAMRUNNING && id <= IDS_FOLDERCODEPAGE);
        EXPECT_EQ(percent, formats ? 1u : 0u);
        if (formats)
            EXPECT_NE(text.find("%s"), std::string::npos);
    }
    // The umlauts arrive in the ANSI code page, not as UTF-8 bytes.
    EXPECT_EQ(LoadString(german.handle, IDS_DELETEMANUALLY), "Bitte l\xF6schen Sie %s von Hand");
    EXPECT_TRUE(LoadImageA(german.handle, "MVXICON", IMAGE_ICON, 32, 32, 0));
    EXPECT_TRUE(LoadImageA(german.handle, "DELICON", IMAGE_ICON, 32, 32, 0));
}

TEST_F(LanguageModule, DialogsKeepEveryControlOfTheProgramsOwn)
{
    Module german(GermanModule()), own(ProgramExe());
    for (const char *name : {"SETUPDLG", "DONEDLG"}) {
        SCOPED_TRACE(name);
        std::string ownCaption, germanCaption;
        std::vector<Control> expected = DialogControls(own.handle, name, &ownCaption);
        std::vector<Control> actual = DialogControls(german.handle, name, &germanCaption);
        ASSERT_FALSE(expected.empty());
        ASSERT_EQ(actual.size(), expected.size());
        EXPECT_EQ(germanCaption, kSetupCaption);
        size_t translated = 0;
        for (size_t i = 0; i < expected.size(); i++) {
            SCOPED_TRACE(i);
            EXPECT_EQ(actual[i].id, expected[i].id);
            EXPECT_EQ(actual[i].cls, expected[i].cls);
            EXPECT_EQ(actual[i].style, expected[i].style);
            EXPECT_TRUE(EqualRect(&actual[i].rect, &expected[i].rect));
            translated += actual[i].text != expected[i].text;
            // Access keys survive translation of the controls that had one.
            if (expected[i].text.find('&') != std::string::npos)
                EXPECT_NE(actual[i].text.find('&'), std::string::npos) << actual[i].text;
        }
        EXPECT_GE(translated, expected.size() / 2);
    }
}

TEST_F(LanguageModule, SetupShowsGermanDialogsAndNamesTheLinksInGerman)
{
    folder = MakeInstallFolder("lang setup");
    Process setup;
    ASSERT_TRUE(setup.Start("\"" + Join(folder, "uninstall.exe") + "\" /setup", folder));
    HWND dialog = WaitForDialog(kSetupCaption, setup.pid);
    ASSERT_TRUE(dialog) << "no Setup dialog with the German caption";
    EXPECT_EQ(ControlText(dialog, IDC_PROGRAMS), "Melvox-&Programmgruppe anlegen");
    EXPECT_TRUE(IsChecked(dialog, IDC_PROGRAMS));
    Press(dialog, IDOK);

    HWND done = WaitForDone(setup.pid);
    ASSERT_TRUE(done);
    EXPECT_EQ(WindowText(done), kSetupCaption);
    EXPECT_EQ(ControlText(done, IDOK), "Fertig");
    EXPECT_EQ(ControlText(done, IDC_FOLDER), folder);

    std::string group = Join(ProgramsFolder(), "Melvox");
    EXPECT_TRUE(FileExists(Join(group, "Melvox-Hilfe.lnk")));
    EXPECT_TRUE(FileExists(Join(group, "MVX-Konsolenhandbuch.lnk")));
    EXPECT_TRUE(FileExists(Join(group, "Melvox.lnk")));
    EXPECT_FALSE(FileExists(Join(group, "Melvox help.lnk")));
    std::string name;
    EXPECT_TRUE(RegReadString(HKEY_LOCAL_MACHINE,
                              "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Melvox archiver",
                              "DisplayName", &name));
    EXPECT_EQ(name, "Melvox Archivprogramm");

    Press(done, IDOK);
    EXPECT_EQ(setup.Wait(15000), 0u);
    EXPECT_TRUE(CloseFolderWindow(setup.pid)) << "Done opened no program group window";
}

TEST_F(LanguageModule, UninstallAsksInGermanAndNoChangesNothing)
{
    folder = MakeInstallFolder("lang uninstall");
    ASSERT_TRUE(WriteFileText(Join(folder, "Uninstall.lst"), "keep.txt\n"));
    ASSERT_TRUE(WriteFileText(Join(folder, "keep.txt"), "x"));
    Process uninstall;
    ASSERT_TRUE(uninstall.Start("\"" + Join(folder, "uninstall.exe") + "\"", "C:\\"));
    HWND box = WaitForDialog(kBoxCaption, uninstall.pid);
    ASSERT_TRUE(box) << "no confirmation with the German caption";
    EXPECT_EQ(MessageBoxText(box), "Mit der Deinstallation von Melvox fortfahren?");
    Press(box, IDNO);
    EXPECT_EQ(uninstall.Wait(15000), 0u);
    EXPECT_TRUE(FileExists(Join(folder, "keep.txt")));
    EXPECT_TRUE(FileExists(Join(folder, "Uninstall.lst")));
    EXPECT_TRUE(FileExists(Join(folder, "mvxlng.dll")));
}

TEST_F(LanguageModule, MessagesPutThePathIntoTheTranslatedText)
{
    folder = MakeInstallFolder("lang messages");
    std::string program = Join(folder, "uninstall.exe");

    // Without Uninstall.lst: the German error with the list's name for %s.
    Process uninstall;
    ASSERT_TRUE(uninstall.Start("\"" + program + "\"", "C:\\"));
    HWND box = WaitForDialog(kBoxCaption, uninstall.pid);
    ASSERT_TRUE(box);
    Press(box, IDYES);
    ASSERT_TRUE(WaitForWindowGone(box));
    HWND error = WaitForDialog(kBoxCaption, uninstall.pid);
    ASSERT_TRUE(error);
    EXPECT_EQ(MessageBoxText(error), "Die Listendatei Uninstall.lst kann nicht ge\xF6" "ffnet werden");
    Press(error, IDOK);
    EXPECT_EQ(uninstall.Wait(15000), 0u);

    const std::string german = "Deinstallation abgeschlossen\nBitte l\xF6schen Sie " + program + " von Hand";
    Process warning;
    ASSERT_TRUE(warning.Start("\"" + program + "\" /warning", folder));
    box = WaitForDialog(kBoxCaption, warning.pid);
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageBoxText(box), german);
    Press(box, IDOK);
    EXPECT_EQ(warning.Wait(15000), 0u);

    // No interpreter for the cleanup script (COMSPEC unset on the Windows
    // 95 family): the listed module is already gone when the program file
    // stays, and the user is still told in German.
    ASSERT_TRUE(WriteFileText(Join(folder, "Uninstall.lst"), "mvxlng.dll\r\n"));
    char comspec[MAX_PATH];
    GetEnvironmentVariableA("COMSPEC", comspec, MAX_PATH);
    SetEnvironmentVariableA("COMSPEC", NULL);
    SetWineVersion("win98", "uninstall.exe");
    Process uninstallAll;
    bool started = uninstallAll.Start("\"" + program + "\"", "C:\\");
    SetEnvironmentVariableA("COMSPEC", comspec);
    if (!started)
        SetWineVersion("", "uninstall.exe");
    ASSERT_TRUE(started);
    box = WaitForDialog(kBoxCaption, uninstallAll.pid);
    ASSERT_TRUE(box);
    Press(box, IDYES);
    ASSERT_TRUE(WaitForWindowGone(box));
    box = WaitForDialog(kBoxCaption, uninstallAll.pid);
    SetWineVersion("", "uninstall.exe");
    ASSERT_TRUE(box) << "no warning in German";
    EXPECT_EQ(MessageBoxText(box), german);
    Press(box, IDOK);
    EXPECT_EQ(uninstallAll.Wait(15000), 0u);
    EXPECT_FALSE(FileExists(Join(folder, "mvxlng.dll")));
}

} // namespace
