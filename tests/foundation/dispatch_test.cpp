// The real uninstall.exe started as a process: which mode each command
// line selects, how long it takes, and the warning message it shows.
#include <gtest/gtest.h>

#include <string>

#include "testsupport.h"

using namespace testsupport;

namespace {

const char *const SETUP_CAPTION = "Melvox Setup";
const char *const MESSAGE_CAPTION = "Uninstall Melvox";

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = MakeTempFolder("dispatch");
        exe = Join(folder, "uninstall.exe");
        ASSERT_TRUE(CopyFileTo(ProgramExe(), exe));
    }
    void TearDown() override { RemoveTree(folder); }

    // Starts the program with the tail; returns the milliseconds it took to
    // end on its own (or -1 on a timeout) and its exit code.
    long RunQuietly(const std::string &tail, DWORD *code)
    {
        Process p;
        EXPECT_TRUE(p.Start("\"" + exe + "\" " + tail, folder));
        DWORD start = GetTickCount();
        *code = p.Wait(10000);
        return *code == STILL_ACTIVE ? -1 : (long)(GetTickCount() - start);
    }
    std::string folder, exe;
};

TEST_F(DispatchTest, WaitSleepsTwoSecondsInAnyLetterCase)
{
    for (const char *tail : {"/wait", "/WAIT", "/Waiting", "/setup /wait", "x/y /wait"}) {
        DWORD code = 1;
        long took = RunQuietly(tail, &code);
        EXPECT_EQ(0u, code) << tail;
        EXPECT_GE(took, 1900) << tail;
        EXPECT_LT(took, 6000) << tail;
    }
}

TEST_F(DispatchTest, UnknownOrShortenedOptionsDoNothing)
{
    for (const char *tail : {"/bogus", "/setu", "/wai", "/warn", "/", "C:/some/path", "/wait/x"}) {
        DWORD code = 1;
        long took = RunQuietly(tail, &code);
        EXPECT_EQ(0u, code) << tail;
        EXPECT_GE(took, 0) << tail << ": still running after 10 s";
        EXPECT_LT(took, 1500) << tail << ": took as long as a wait";
    }
}

TEST_F(DispatchTest, SetupOpensTheSetupDialogAndCancelEndsIt)
{
    for (const char *tail : {"/setup", "/SETUP", "/Setupfoo", "/wait /setup"}) {
        Process p;
        ASSERT_TRUE(p.Start("\"" + exe + "\" " + tail, folder));
        HWND dialog = WaitForDialog(SETUP_CAPTION, p.pid);
        ASSERT_TRUE(dialog != NULL) << tail << ": no Setup dialog";
        Press(dialog, IDCANCEL);
        EXPECT_EQ(0u, p.Wait(10000)) << tail;
    }
}

TEST_F(DispatchTest, WarningNamesTheProgramFile)
{
    for (const char *tail : {"/warning", "/WARNING"}) {
        Process p;
        ASSERT_TRUE(p.Start("\"" + exe + "\" " + tail, folder));
        HWND box = WaitForDialog(MESSAGE_CAPTION, p.pid);
        ASSERT_TRUE(box != NULL) << tail;
        EXPECT_EQ("Uninstall completed\nYou should delete " + exe + " manually", MessageBoxText(box));
        Press(box, IDOK);
        EXPECT_EQ(0u, p.Wait(10000)) << tail;
    }
}

} // namespace
