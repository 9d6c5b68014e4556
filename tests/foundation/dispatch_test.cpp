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

// Durations are judged against starts measured in the same run: on a slow
// machine (an emulated PC) every process start takes more than a second.
TEST_F(DispatchTest, WaitSleepsTwoSecondsInAnyLetterCase)
{
    DWORD code = 1;
    long start = RunQuietly("/bogus", &code);
    ASSERT_GE(start, 0) << "a start without a wait did not end";
    for (const char *tail : {"/wait", "/WAIT", "/Waiting", "/setup /wait", "x/y /wait"}) {
        long took = RunQuietly(tail, &code);
        EXPECT_EQ(0u, code) << tail;
        EXPECT_GE(took, 1900) << tail;
        EXPECT_LT(took, start + 4000) << tail << ": a start without a wait took " << start << " ms";
    }
}

TEST_F(DispatchTest, UnknownOrShortenedOptionsDoNothing)
{
    DWORD code = 1;
    long wait = RunQuietly("/wait", &code);
    ASSERT_GE(wait, 1900) << "a start with the two-second wait";
    for (const char *tail : {"/bogus", "/setu", "/wai", "/warn", "/", "C:/some/path", "/wait/x"}) {
        long took = RunQuietly(tail, &code);
        EXPECT_EQ(0u, code) << tail;
        EXPECT_GE(took, 0) << tail << ": still running after 10 s";
        EXPECT_LT(took, wait - 1000) << tail << ": took as long as a wait (" << wait << " ms)";
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
