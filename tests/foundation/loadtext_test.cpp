// The text ring and the program's own string table (linked into this test
// program from the program's resource script), and RunCommand.
#include <gtest/gtest.h>

#include <string>

#include "app/app.h"
#include "resource.h"
#include "testsupport.h"

namespace {

class LoadTextTest : public ::testing::Test {
protected:
    void SetUp() override { g_hResources = GetModuleHandleA(NULL); }
};

TEST_F(LoadTextTest, ProgramTextsAreExact)
{
    const struct {
        UINT id;
        const char *text;
    } table[] = {
        {IDS_DISPLAYNAME, "Melvox archiver"},
        {IDS_HELPLINK, "Melvox help"},
        {IDS_MANUALLINK, "Console MVX manual"},
        {IDS_CAPTION, "Uninstall Melvox"},
        {IDS_COMPLETED, "Uninstall completed"},
        {IDS_DELETEMANUALLY, "You should delete %s manually"},
        {IDS_CONFIRM, "Continue with uninstall Melvox"},
        {IDS_NOLIST, "Cannot open list file %s"},
    };
    for (const auto &row : table)
        EXPECT_STREQ(row.text, LoadText(row.id)) << "id " << row.id;
}

TEST_F(LoadTextTest, EightResultsStayValidAndTheNinthReusesTheFirstSlot)
{
    const char *results[9];
    std::string copies[8];
    for (int i = 0; i < 8; i++) {
        results[i] = LoadText(IDS_DISPLAYNAME + i);
        copies[i] = results[i];
    }
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(copies[i], results[i]) << "result " << i << " was overwritten";
    results[8] = LoadText(IDS_CAPTION);
    EXPECT_EQ(results[0], results[8]);
    EXPECT_STREQ("Uninstall Melvox", results[0]);
    for (int i = 1; i < 8; i++)
        EXPECT_NE(results[0], results[i]);
}

TEST_F(LoadTextTest, MissingIdsGiveEmptyTextNotTheSlotsOldContent)
{
    for (int i = 0; i < 8; i++)
        LoadText(IDS_DISPLAYNAME);
    // Every slot now holds a text; missing ids must clear theirs.
    EXPECT_STREQ("", LoadText(5100));
    EXPECT_STREQ("", LoadText(IDS_LAST_TEXT + 1));
    EXPECT_STREQ("", LoadText(0));
    EXPECT_STREQ("", LoadText(65535));
}

// A module made before the newer texts: those come from the program, the
// older texts it lacks stay empty, and what it has is its own.
TEST_F(LoadTextTest, OlderModuleGetsTheProgramsNewerTextsOnly)
{
    HMODULE module = LoadLibraryExA(testsupport::BuiltFile("tests/fixtures/lang/no5104/mvxlng.dll").c_str(),
                                    NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module);
    HINSTANCE program = g_hProgram;
    g_hProgram = GetModuleHandleA(NULL);
    g_hResources = module;
    EXPECT_STREQ("Fixture: go on?", LoadText(IDS_CONFIRM));
    EXPECT_STREQ("", LoadText(IDS_CAPTION));
    EXPECT_STREQ("Melvox Setup", LoadText(IDS_SETUPCAPTION));
    EXPECT_STREQ("Setup or uninstall of Melvox is already running.\nPlease wait until it has ended.",
                 LoadText(IDS_ALREADYRUNNING));
    EXPECT_STREQ("", LoadText(IDS_LAST_TEXT + 1));
    g_hResources = g_hProgram;
    g_hProgram = program;
    FreeLibrary(module);
}

TEST(RunCommand, StartsAProgramAndReportsAMissingOne)
{
    DWORD before = 0, after = 0;
    GetProcessHandleCount(GetCurrentProcess(), &before);
    EXPECT_FALSE(RunCommand("C:\\no\\such\\program.exe"));
    EXPECT_FALSE(RunCommand("\"C:\\no such folder\\x.exe\" /arg"));
    GetProcessHandleCount(GetCurrentProcess(), &after);
    EXPECT_EQ(before, after) << "a failed start left a handle open";

    char marker[MAX_PATH];
    GetTempPathA(sizeof marker, marker);
    strcat(marker, "melvox-runcommand.txt");
    DeleteFileA(marker);
    std::string command = "cmd.exe /c echo x > \"" + std::string(marker) + "\"";
    EXPECT_TRUE(RunCommand(command.c_str()));
    GetProcessHandleCount(GetCurrentProcess(), &after);
    EXPECT_EQ(before, after) << "a started program left a handle open";
    for (int i = 0; i < 100 && GetFileAttributesA(marker) == INVALID_FILE_ATTRIBUTES; i++)
        Sleep(50);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(marker));
    DeleteFileA(marker);
}

TEST(RunCommand, RefusesACommandLineLongerThanItsBuffer)
{
    std::string command = "cmd.exe /c rem " + std::string(600, 'x');
    EXPECT_FALSE(RunCommand(command.c_str()));
}

} // namespace
