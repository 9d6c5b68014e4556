// The language module: loaded only from the program's own folder, as a
// data file, and never supplemented from the program's own resources.
// (The dialog icon is checked in-process by the setup tests: Wine answers
// WM_GETICON from another process with no icon.)
#include <gtest/gtest.h>

#include <string>

#include "testsupport.h"

using namespace testsupport;

namespace {

const std::string GERMAN = "samples/lang-de/mvxlng.dll";
const std::string NO5104 = "tests/fixtures/lang/no5104/mvxlng.dll";
const std::string WITHCODE = "tests/fixtures/lang/withcode/mvxlng.dll";

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = MakeTempFolder("language");
        exe = Join(folder, "uninstall.exe");
        ASSERT_TRUE(CopyFileTo(ProgramExe(), exe));
    }
    void TearDown() override { RemoveTree(folder); }

    void AddModule(const std::string &built, const std::string &where)
    {
        ASSERT_TRUE(CopyFileTo(BuiltFile(built), Join(where, "mvxlng.dll"))) << built;
    }

    // Runs /warning with the given current directory, reads the message
    // box and answers it.
    void ReadWarning(const std::string &directory, std::string *caption, std::string *text)
    {
        Process p;
        ASSERT_TRUE(p.Start("\"" + exe + "\" /warning", directory));
        HWND box = NULL;
        for (DWORD start = GetTickCount(); !box && GetTickCount() - start < Patience(15000); Sleep(50)) {
            HWND w = NULL;
            while ((w = FindWindowExA(NULL, w, "#32770", NULL)) != NULL) {
                DWORD owner = 0;
                GetWindowThreadProcessId(w, &owner);
                if (owner == p.pid && IsWindowVisible(w)) {
                    box = w;
                    break;
                }
            }
        }
        ASSERT_TRUE(box != NULL) << "no message box";
        *caption = WindowText(box);
        *text = MessageBoxText(box);
        Press(box, IDOK);
        EXPECT_EQ(0u, p.Wait(10000));
    }

    std::string folder, exe;
};

TEST_F(LanguageTest, TextsAndDialogsComeFromTheModuleBesideTheProgram)
{
    AddModule(GERMAN, folder);
    std::string caption, text;
    ReadWarning(folder, &caption, &text);
    EXPECT_EQ("Melvox deinstallieren", caption);
    EXPECT_EQ("Deinstallation abgeschlossen\nBitte l\xf6schen Sie " + exe + " von Hand", text);

    Process p;
    ASSERT_TRUE(p.Start("\"" + exe + "\" /setup", folder));
    HWND dialog = WaitForDialog("Melvox-Einrichtung", p.pid);
    ASSERT_TRUE(dialog != NULL) << "the translated Setup dialog did not open";
    Press(dialog, IDCANCEL);
    EXPECT_EQ(0u, p.Wait(10000));
}

TEST_F(LanguageTest, WithoutAModuleTheProgramsOwnResourcesServe)
{
    std::string caption, text;
    ReadWarning(folder, &caption, &text);
    EXPECT_EQ("Uninstall Melvox", caption);

    Process p;
    ASSERT_TRUE(p.Start("\"" + exe + "\" /setup", folder));
    HWND dialog = WaitForDialog("Melvox Setup", p.pid);
    ASSERT_TRUE(dialog != NULL);
    Press(dialog, IDCANCEL);
    EXPECT_EQ(0u, p.Wait(10000));
}

TEST_F(LanguageTest, AModuleWithoutTheCaptionGivesAnEmptyCaption)
{
    AddModule(NO5104, folder);
    std::string caption, text;
    ReadWarning(folder, &caption, &text);
    EXPECT_EQ("", caption);
    EXPECT_EQ("Fixture: uninstall finished\nFixture: remove " + exe + " by hand", text);

    // Nor does the module's lack of dialogs fall back: setup shows nothing.
    DWORD start = GetTickCount();
    EXPECT_EQ(0u, RunAndWait(exe, "/setup", folder, 10000));
    EXPECT_LT(GetTickCount() - start, Patience(5000));
}

TEST_F(LanguageTest, AModuleInTheCurrentDirectoryIsNotLoaded)
{
    std::string elsewhere = MakeTempFolder("planted");
    AddModule(GERMAN, elsewhere);
    std::string caption, text;
    ReadWarning(elsewhere, &caption, &text);
    EXPECT_EQ("Uninstall Melvox", caption) << "a DLL planted in the current directory was used";
    RemoveTree(elsewhere);
}

TEST_F(LanguageTest, NoCodeOfTheModuleRuns)
{
    AddModule(WITHCODE, folder);
    std::string caption, text;
    ReadWarning(folder, &caption, &text);
    EXPECT_EQ("Code module caption", caption);
    EXPECT_FALSE(FileExists(Join(folder, "ran.txt"))) << "the module's entry point ran";
}

} // namespace
