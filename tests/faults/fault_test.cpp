// Hostile lists and faults against the real uninstall.exe in a throwaway
// install folder. Whatever goes wrong, nothing outside the install folder
// changes, the removal passes end, and the program reports no failure as
// success. Each test checks the canaries around its install on the way out.
#include <gtest/gtest.h>
#include <stdio.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "fault_support.h"
#include "registry/registry.h"
#include "testsupport.h"
#include "uninstall/uninstall.h"

using namespace faults;
using namespace testsupport;

namespace {

class Faults : public ::testing::Test {
protected:
    void SetUp() override
    {
        install = MakeInstall(::testing::UnitTest::GetInstance()->current_test_info()->name());
        DeleteFileA(ScriptPath().c_str());
    }
    void TearDown() override
    {
        std::string report;
        EXPECT_TRUE(CanariesUntouched(install, &report)) << report;
        printf("[ figures  ] %u canary files outside the install folder checked, %s\n",
               (unsigned)install.canaryFiles, report.empty() ? "all untouched" : "SOME TOUCHED");
        RemoveInstall(install);
        DeleteFileA(ScriptPath().c_str());
        RemoveScriptFolders();
    }
    std::string In(const std::string &relative) const { return install.folder + "\\" + relative; }
    void List(const std::string &bytes) { ASSERT_TRUE(WriteFileText(install.list, bytes)); }
    // The cleanup script ran: the program file went, and the install folder
    // with it when nothing else was left.
    void ExpectCleanedUp(bool folderEmpty)
    {
        EXPECT_TRUE(WaitForScript());
        EXPECT_TRUE(WaitGone(install.exe, 15000));
        if (folderEmpty)
            EXPECT_TRUE(WaitGone(install.folder, 15000));
        else
            EXPECT_TRUE(FolderExists(install.folder));
    }
    Install install;
};

// Every spelling of a path that climbs out, towards every canary around the
// install; the safe entries among them still go.
TEST_F(Faults, HostileSpellingsDeleteNothingOutside)
{
    std::vector<std::string> hostile;
    const char *const ups[] = {"..", "...", ".. ", " ..", ". .", "....", " . . "};
    const char *const targets[] = {"x", "evil.txt", "Windows\\win.ini", "Windows"};
    for (const char *up : ups)
        for (int levels = 1; levels <= 4; levels++)
            for (const char *target : targets)
                for (const char *separator : {"\\", "/"}) {
                    std::string line;
                    for (int i = 0; i < levels; i++)
                        line += std::string(up) + separator;
                    hostile.push_back(line + target);
                }
    const char *const others[] = {
        "..\\Melvox2\\x", "..\\Melvox2", "..\\Uninstall.lst", "..\\melvox.gid", "../melvox.fts",
        "sub\\..\\..\\x", "sub/../../evil.txt", "sub\\..\\..\\..\\Windows\\win.ini",
        "a\\b\\..\\..\\..\\x", "sub\\.. \\..\\x", "\\..\\x", "\\\\..\\x", "..",
        "..\\..\\..\\..\\..\\..\\windows\\win.ini", "../../../../../../windows/win.ini",
        "..\\..\\..\\..\\..\\..\\windows", "..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\windows\\win.ini",
        "..\\x\r", ".. \\x \t", "..\\x\x7f",
    };
    hostile.insert(hostile.end(), std::begin(others), std::end(others));

    Plant(In("a.txt"));
    Plant(In("sub\\b.txt"));
    std::string list = "a.txt\r\n";
    for (const std::string &line : hostile)
        list += line + "\r\n";
    list += "sub\\b.txt\r\nsub\r\n";
    List(list);

    // The skipped lines are named by number (the first of them is line 2),
    // as many as the message holds.
    std::string message;
    ASSERT_TRUE(RunUninstall(install, 60000, &message));
    EXPECT_EQ(0u, message.find("Some entries of Uninstall.lst could not be removed:\nline 2 of Uninstall.lst\n"
                               "line 3 of Uninstall.lst\n")) << message;
    EXPECT_NE(std::string::npos, message.find("...\nPlease delete them by hand.")) << message;
    EXPECT_FALSE(FileExists(install.list));
    EXPECT_FALSE(FileExists(In("a.txt")));
    EXPECT_FALSE(FolderExists(In("sub")));
    ExpectCleanedUp(true);
    printf("[ figures  ] %u hostile list spellings tried\n", (unsigned)hostile.size());
}

// Locks a read-only file on the host (chattr +i), or frees it: then every
// delete, attribute change and open for writing is refused with access
// denied while nobody uses it, whatever the rights of root. Polled, as
// Wine gives no handle to wait on for a host program.
bool LockFile(const std::string &folder, const char *name, bool on)
{
    std::string path = folder + "\\" + name;
    std::string line = std::string("Z:\\usr\\bin\\chattr ") + (on ? "+i " : "-i ") + name;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION started = {};
    if (CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, folder.c_str(), &startup, &started)) {
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    }
    for (int i = 0; i < (int)Patience(100); i++, Sleep(50)) {
        bool refused = !SetFileAttributesA(path.c_str(), on ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
        if (refused == on)
            return true;
    }
    return false;
}

// A line holding a NUL is no file name: neither its head nor its tail is
// deleted. Codes 128 to 255 are ordinary name characters. Those lines, one
// too long for a path, a device name that the system refuses and a file
// refused for want of rights stay, and the closing message names each of
// them, none as in use; all else goes as before.
TEST_F(Faults, NulAndHighBytesInTheList)
{
    const char *const removed[] = {"J\xF6rg.txt", "\xE9t\xE9\\\xE0\xFF.dat", "name\xA0", "\xA0lead"};
    for (const char *name : removed)
        Plant(In(name));
    Plant(In("ab"));
    Plant(In("cd"));
    std::string list = "J\xF6rg.txt\r\n\xE9t\xE9\\\xE0\xFF.dat\r\n\xE9t\xE9\r\n";
    list += std::string("ab\0cd\r\n", 7) + std::string("\0\r\n\0\0", 5) + "\r\n";
    list += "name\xA0\r\n\xA0lead\n\xFF\xFE\x80\n" + std::string(315, 'L') + "\r\nCON\r\nlocked.txt\r\n";
    List(list);
    Plant(In("locked.txt"));
    ASSERT_TRUE(LockFile(install.folder, "locked.txt", true));

    std::string message;
    bool ran = RunUninstall(install, 60000, &message);
    EXPECT_TRUE(LockFile(install.folder, "locked.txt", false));
    ASSERT_TRUE(ran);
    std::string lines;
    for (int line : {4, 5, 6, 10})
        lines += "line " + std::to_string(line) + " of Uninstall.lst\n";
    EXPECT_EQ("Some entries of Uninstall.lst could not be removed:\n" + lines + In("CON") + "\n" +
              In("locked.txt") + "\nPlease delete them by hand.", message);
    EXPECT_TRUE(FileExists(In("locked.txt")));
    for (const char *name : removed)
        EXPECT_FALSE(FileExists(In(name))) << name;
    EXPECT_FALSE(FolderExists(In("\xE9t\xE9")));
    EXPECT_TRUE(FileExists(In("ab")));
    EXPECT_TRUE(FileExists(In("cd")));
    EXPECT_FALSE(FileExists(install.list));
    ExpectCleanedUp(false);
}

TEST_F(Faults, ZeroByteList)
{
    List("");
    ASSERT_TRUE(RunUninstall(install));
    EXPECT_FALSE(FileExists(install.list));
    ExpectCleanedUp(true);
}

TEST_F(Faults, ListOfBlankLinesOnly)
{
    List("\r\n\n \t\r\n\x01\x7f\n   ");
    ASSERT_TRUE(RunUninstall(install));
    EXPECT_FALSE(FileExists(install.list));
    ExpectCleanedUp(true);
}

// Entries naming the list, the running program or the install folder
// itself: none of them stops the uninstall or its cleanup.
TEST_F(Faults, EntriesNamingTheProgramAndTheListItself)
{
    Plant(In("a.txt"));
    List("Uninstall.lst\r\nuninstall.exe\r\nUNINSTALL.EXE\r\n.\r\n.\\\r\n\\\r\n/\r\na.txt\r\n");
    ASSERT_TRUE(RunUninstall(install));
    EXPECT_FALSE(FileExists(In("a.txt")));
    EXPECT_FALSE(FileExists(install.list));
    ExpectCleanedUp(true);
}

// 20,000 entries: 400 folders of 49 files each, every folder listed after
// its files, as an installer writes them.
TEST_F(Faults, TwentyThousandEntries)
{
    const int folders = 400, files = 49;
    DWORD start = GetTickCount();
    std::string list;
    for (int d = 0; d < folders; d++) {
        char folder[16];
        sprintf(folder, "d%03d", d);
        CreateDirectoryA(In(folder).c_str(), NULL);
        for (int f = 0; f < files; f++) {
            char name[32];
            sprintf(name, "%s\\file%02d.dat", folder, f);
            HANDLE h = CreateFileA(In(name).c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
            ASSERT_NE(INVALID_HANDLE_VALUE, h) << name;
            CloseHandle(h);
            list += std::string(name) + "\r\n";
        }
        list += std::string(folder) + "\r\n";
    }
    List(list);
    DWORD made = GetTickCount() - start;

    start = GetTickCount();
    ASSERT_TRUE(RunUninstall(install, 110000));
    DWORD removed = GetTickCount() - start;
    EXPECT_FALSE(FolderExists(In("d000")));
    EXPECT_FALSE(FolderExists(In("d399")));
    ExpectCleanedUp(true);
    printf("[ figures  ] %d entries: laid out in %lu ms, uninstall run (confirmation to exit) %lu ms\n",
           folders * (files + 1), made, removed);
}

// A listed file that cannot be deleted stays; the passes still end and the
// rest of the uninstall goes on. The user hears of it: it goes at the next
// restart, or on the Windows 95 family, which cannot schedule that, it is
// to be deleted by hand.
TEST_F(Faults, ListedFileHeldOpenStays)
{
    const struct {
        const char *version;
        const char *secondLine;
    } rounds[] = {
        {"", "They will be removed when Windows restarts."},
        {"win98", "Please delete them by hand once they are no longer in use."},
    };
    for (const auto &round : rounds) {
        SCOPED_TRACE(round.version[0] ? round.version : "NT");
        // Wine's cmd is no COMMAND.COM: a stand-in that ends at once takes
        // the Windows 95 family's script, which is not what this is about.
        char comspec[MAX_PATH] = "";
        GetEnvironmentVariableA("COMSPEC", comspec, MAX_PATH);
        bool win9x = round.version[0] != '\0';
        if (win9x) {
            RemoveInstall(install);
            install = MakeInstall(std::string("ListedFileHeldOpenStays-") + round.version);
            SetWineVersion(round.version, "uninstall.exe");
            SetEnvironmentVariableA("COMSPEC", BuiltFile("tests/uninstall/interpreter_recorder.exe").c_str());
        }
        Plant(In("a.txt"));
        Plant(In("held.txt"), "held");
        Plant(In("sub\\c.txt"));
        List("held.txt\r\na.txt\r\nsub\r\nsub\\c.txt\r\n");
        Held held(HoldWithoutSharing(In("held.txt")));
        ASSERT_NE(INVALID_HANDLE_VALUE, held.handle);

        std::string message;
        bool ran = RunUninstall(install, 60000, &message);
        SetEnvironmentVariableA("COMSPEC", comspec);
        SetWineVersion("", "uninstall.exe");
        ASSERT_TRUE(ran);
        EXPECT_EQ("Some files are still in use, among them " + In("held.txt") + "\n" + round.secondLine,
                  message);
        EXPECT_TRUE(FileExists(In("held.txt")));
        EXPECT_FALSE(FileExists(In("a.txt")));
        EXPECT_FALSE(FolderExists(In("sub")));
        EXPECT_FALSE(FileExists(install.list));
        if (!win9x)
            ExpectCleanedUp(false);
        held.Close();
    }
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "PendingFileRenameOperations");
        RegCloseKey(key);
    }
}

// Listed folders that cannot go: one holding an unlisted file, one also
// read-only. They stay and do not keep the passes going. A read-only folder
// that is empty goes, since attributes are cleared first.
TEST_F(Faults, ListedFoldersThatCannotGoStay)
{
    Plant(In("sub\\listed.txt"));
    Plant(In("sub\\unlisted.txt"), "unlisted");
    Plant(In("ro\\keep.txt"), "unlisted");
    CreateDirectoryA(In("roempty").c_str(), NULL);
    SetFileAttributesA(In("ro").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(In("roempty").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    List("sub\r\nro\r\nroempty\r\nsub\\listed.txt\r\n");

    ASSERT_TRUE(RunUninstall(install));
    EXPECT_TRUE(FileExists(In("sub\\unlisted.txt")));
    EXPECT_FALSE(FileExists(In("sub\\listed.txt")));
    EXPECT_TRUE(FileExists(In("ro\\keep.txt")));
    EXPECT_FALSE(FolderExists(In("roempty")));
    ExpectCleanedUp(false);
}

// The program file cannot be deleted while the script runs: after its five
// attempts the script runs the program with /warning.
TEST_F(Faults, ProgramFileHeldGetsTheWarning)
{
    Plant(In("a.txt"));
    List("a.txt\r\n");
    // Readers may share it, so that the script can still run the program;
    // no one may delete it.
    Held held(CreateFileA(install.exe.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL));
    ASSERT_NE(INVALID_HANDLE_VALUE, held.handle);

    ASSERT_TRUE(RunUninstall(install));
    HWND box = WaitForDialog("Uninstall Melvox", 0, 40000);
    ASSERT_NE((HWND)NULL, box);
    EXPECT_EQ("Uninstall completed\nYou should delete " + install.exe + " manually", MessageBoxText(box));
    Press(box, IDOK);
    EXPECT_TRUE(WaitForScript());
    EXPECT_TRUE(FileExists(install.exe));
    EXPECT_FALSE(FileExists(In("a.txt")));
    held.Close();
}

// The temp folder cannot take the script: the list is already gone and
// the program file stays, so the user is told to delete it; nothing else
// is lost. Only an unelevated run writes its script there, as on the
// Windows 95 family.
class TempFaults : public Faults {
protected:
    void ExpectWarning(const std::string &warning)
    {
        EXPECT_EQ("Uninstall completed\nYou should delete " + install.exe + " manually", warning);
    }
    void RunWithTemp(const std::string &temp)
    {
        Plant(In("a.txt"));
        Plant(In("keep.txt"), "unlisted");
        List("a.txt\r\n");
        {
            ScopedEnvironment tmp("TMP", temp), tempVariable("TEMP", temp);
            std::string warning;
            ASSERT_TRUE(RunUninstall(install, 30000, &warning));
            ExpectWarning(warning);
        }
        EXPECT_FALSE(FileExists(install.list));
        EXPECT_FALSE(FileExists(In("a.txt")));
        EXPECT_TRUE(FileExists(In("keep.txt")));
        EXPECT_TRUE(FileExists(install.exe));
        EXPECT_FALSE(FileExists(temp + "\\Uninstall.Mvx.Bat"));
    }
    void SetUp() override
    {
        Faults::SetUp();
        temps = MakeTempFolder("faults temp");
        SetWineVersion("win98", "uninstall.exe");
    }
    void TearDown() override
    {
        SetWineVersion("", "uninstall.exe");
        RemoveTree(temps);
        Faults::TearDown();
    }
    std::string temps;
};

TEST_F(TempFaults, MissingFolder)
{
    RunWithTemp(temps + "\\missing");
    EXPECT_FALSE(FolderExists(temps + "\\missing"));
}

TEST_F(TempFaults, FileInsteadOfFolder)
{
    Plant(temps + "\\file", "not a folder");
    RunWithTemp(temps + "\\file");
}

TEST_F(TempFaults, ScriptNameTakenByAFolder)
{
    CreateDirectoryA((temps + "\\t").c_str(), NULL);
    CreateDirectoryA((temps + "\\t\\Uninstall.Mvx.Bat").c_str(), NULL);
    RunWithTemp(temps + "\\t");
    EXPECT_TRUE(FolderExists(temps + "\\t\\Uninstall.Mvx.Bat"));
}

TEST_F(TempFaults, ScriptFileHeldOpen)
{
    CreateDirectoryA((temps + "\\t").c_str(), NULL);
    Plant(temps + "\\t\\Uninstall.Mvx.Bat", "held");
    Held held(HoldWithoutSharing(temps + "\\t\\Uninstall.Mvx.Bat"));
    ASSERT_NE(INVALID_HANDLE_VALUE, held.handle);
    Plant(In("a.txt"));
    Plant(In("keep.txt"), "unlisted");
    List("a.txt\r\n");
    {
        ScopedEnvironment tmp("TMP", temps + "\\t"), tempVariable("TEMP", temps + "\\t");
        std::string warning;
        ASSERT_TRUE(RunUninstall(install, 30000, &warning));
        ExpectWarning(warning);
    }
    held.Close();
    std::string bytes;
    EXPECT_TRUE(ReadFileText(temps + "\\t\\Uninstall.Mvx.Bat", &bytes));
    EXPECT_EQ("held", bytes);
    EXPECT_FALSE(FileExists(install.list));
    EXPECT_TRUE(FileExists(In("keep.txt")));
    EXPECT_TRUE(FileExists(install.exe));
}

// The removal passes themselves, in this process, for their counts: what
// cannot go, or goes only when its last holder lets go, never keeps them
// going.
TEST(FaultPasses, WhatCannotGoEndsThePasses)
{
    std::string folder = MakeTempFolder("faults passes");
    std::string prefix = folder + "\\";
    auto path = [&](const char *name) { return prefix + name; };
    Plant(path("held.txt"));
    Plant(path("a.txt"));
    Plant(path("sub\\listed.txt"));
    Plant(path("sub\\unlisted.txt"));
    Plant(path("ro\\keep.txt"));
    SetFileAttributesA(path("ro").c_str(), FILE_ATTRIBUTE_READONLY);
    Plant(path("pending.txt"));
    Plant(path("list"), "sub\r\nro\r\nheld.txt\r\npending.txt\r\nmissing.txt\r\n..\\outside\r\n"
                        "sub\\listed.txt\r\na.txt\r\n");
    Held held(HoldWithoutSharing(path("held.txt")));
    // Held with delete sharing: its delete succeeds, but the name stays
    // "delete pending" until the holder closes it.
    Held pending(CreateFileA(path("pending.txt").c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0, NULL));
    ASSERT_NE(INVALID_HANDLE_VALUE, pending.handle);

    FILE *list = fopen(path("list").c_str(), "rb");
    ASSERT_NE(nullptr, list);
    DWORD start = GetTickCount();
    int passes = RemoveListedFiles(list, prefix.c_str());
    fclose(list);
    EXPECT_EQ(2, passes);  // one that removes, one that removes nothing
    EXPECT_LT(GetTickCount() - start, Patience(10000));
    EXPECT_TRUE(FileExists(path("held.txt")));
    EXPECT_TRUE(FileExists(path("sub\\unlisted.txt")));
    EXPECT_TRUE(FileExists(path("ro\\keep.txt")));
    EXPECT_FALSE(FileExists(path("a.txt")));
    EXPECT_FALSE(FileExists(path("sub\\listed.txt")));
    EXPECT_TRUE(FileExists(path("pending.txt")));
    pending.Close();
    EXPECT_FALSE(FileExists(path("pending.txt")));
    held.Close();
    RemoveTree(folder);
}

const char kFaultKeys[] = "Software\\MelvoxFaults";

// Creates the key one component at a time, each relative to its parent,
// so that a path longer than the system takes at once can still be made.
void CreateKey(const std::string &path)
{
    HKEY parent = HKEY_CURRENT_USER;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        HKEY key;
        LONG status = RegCreateKeyExA(parent, path.substr(start, end - start).c_str(), 0, NULL, 0,
                                      KEY_ALL_ACCESS, NULL, &key, NULL);
        if (parent != HKEY_CURRENT_USER)
            RegCloseKey(parent);
        if (status != ERROR_SUCCESS)
            return;
        parent = key;
        start = end + 1;
    }
    if (parent != HKEY_CURRENT_USER)
        RegCloseKey(parent);
}

// Whether the key exists, opened one component at a time.
bool KeyExists(const std::string &path)
{
    HKEY parent = HKEY_CURRENT_USER;
    size_t start = 0;
    bool found = true;
    while (found && start < path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        HKEY key;
        found = RegOpenKeyExA(parent, path.substr(start, end - start).c_str(), 0, KEY_READ, &key) ==
                ERROR_SUCCESS;
        if (parent != HKEY_CURRENT_USER)
            RegCloseKey(parent);
        parent = found ? key : HKEY_CURRENT_USER;
        start = end + 1;
    }
    if (parent != HKEY_CURRENT_USER)
        RegCloseKey(parent);
    return found;
}

// A tree 1,000 keys wide and 5 deep under one key, removed by the layer's
// tree deletion; keys beside it whose names start the same way stay.
TEST(RegistryFaults, WideDeepTreeGoesAndItsNeighboursStay)
{
    RegRemoveTree(HKEY_CURRENT_USER, kFaultKeys);
    const std::string tree = std::string(kFaultKeys) + "\\Wide";
    DWORD start = GetTickCount();
    for (int i = 0; i < 1000; i++) {
        char name[16];
        sprintf(name, "\\k%04d", i);
        CreateKey(tree + name + "\\a\\b\\c\\d");
    }
    DWORD made = GetTickCount() - start;
    RegSetString(HKEY_CURRENT_USER, std::string(kFaultKeys) + "\\Widely", "keep", "1");
    RegSetString(HKEY_CURRENT_USER, std::string(kFaultKeys) + "\\Wide2", "keep", "1");
    ASSERT_TRUE(RegKeyExists(HKEY_CURRENT_USER, tree + "\\k0999\\a\\b\\c\\d"));

    SetRegistryRoot(HKEY_CURRENT_USER);
    start = GetTickCount();
    DeleteRegKeyTree(tree.c_str());
    DWORD removed = GetTickCount() - start;
    SetRegistryRoot(HKEY_CLASSES_ROOT);

    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, tree));
    EXPECT_TRUE(RegValueExists(HKEY_CURRENT_USER, std::string(kFaultKeys) + "\\Widely", "keep"));
    EXPECT_TRUE(RegValueExists(HKEY_CURRENT_USER, std::string(kFaultKeys) + "\\Wide2", "keep"));
    printf("[ figures  ] registry tree of 5000 keys (1000 wide, 5 deep): made in %lu ms, "
           "removed by DeleteRegKeyTree in %lu ms\n", made, removed);
    RegRemoveTree(HKEY_CURRENT_USER, kFaultKeys);
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kFaultKeys));
}

// Keys the deletion cannot reach (a name of 200 characters or more, a path
// beyond 511) stay with their ancestors; the passes still end and the rest
// of the tree goes.
TEST(RegistryFaults, UnreachableKeysStayAndThePassesEnd)
{
    RegRemoveTree(HKEY_CURRENT_USER, kFaultKeys);
    const std::string tree = std::string(kFaultKeys) + "\\Hostile";
    const std::string longName(220, 'n');
    const std::string deep = tree + "\\deep\\" + std::string(199, 'a') + "\\" + std::string(199, 'b') +
                             "\\" + std::string(199, 'c');
    CreateKey(tree + "\\plain\\x");
    CreateKey(tree + "\\long\\" + longName);
    CreateKey(deep);
    for (int i = 0; i < 20; i++)
        CreateKey(tree + "\\many\\k" + std::to_string(i));
    ASSERT_TRUE(KeyExists(deep));

    SetRegistryRoot(HKEY_CURRENT_USER);
    DWORD start = GetTickCount();
    DeleteRegKeyTree(tree.c_str());
    DWORD took = GetTickCount() - start;
    SetRegistryRoot(HKEY_CLASSES_ROOT);

    EXPECT_LT(took, Patience(10000));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, tree + "\\plain"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, tree + "\\many"));
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, tree + "\\long\\" + longName));
    EXPECT_TRUE(KeyExists(deep));
    RegRemoveTree(HKEY_CURRENT_USER, kFaultKeys);
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kFaultKeys));
}

} // namespace
