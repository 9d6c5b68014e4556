// Registry cleanup and shortcut removal after the state that setup leaves.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <thread>

#include "app/app.h"
#include "registry/registry.h"
#include "testsupport.h"
#include "uninstall/uninstall.h"
#include "uninstall_support.h"

using namespace testsupport;
using namespace uninstalltest;

namespace {

const std::string kWindows = "Software\\Microsoft\\Windows\\CurrentVersion\\";

std::string Read(HKEY root, const std::string &key, const std::string &name)
{
    std::string text;
    if (!RegReadString(root, key, name, &text))
        return "<none>";
    return text;
}

class RegistryCleanup : public ::testing::Test {
protected:
    void SetUp() override { RemoveAllMelvoxKeys(); SetRegistryRoot(HKEY_CLASSES_ROOT); }
    void TearDown() override
    {
        RemoveAllMelvoxKeys();
        RegRemoveTree(HKEY_CLASSES_ROOT, "MelvoxTestOwner");
        RegRemoveTree(HKEY_CLASSES_ROOT, "*\\shellex\\ContextMenuHandlers\\MelvoxTestOther");
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kWindows + "Shell Extensions\\Approved").c_str(), 0,
                          KEY_WRITE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, "{00000000-MELVOX-TEST}");
            RegCloseKey(key);
        }
    }
};

TEST_F(RegistryCleanup, OwnerTestQueriesClassesRootIgnoringCase)
{
    struct { const char *value; bool owned; } cases[] = {
        {"Melvox", true}, {"MELVOX", true}, {"melvox", true}, {"mElVoX", true},
        {"Melvox ", false}, {"Melvox.Archive", false}, {"", false}, {"WinZipper", false},
        {"Melvox\xA0", false},
    };
    SetRegistryRoot(HKEY_CURRENT_USER); // the test must not follow the layer's root
    for (auto &c : cases) {
        RegSetString(HKEY_CLASSES_ROOT, ".mvx", "", c.value);
        EXPECT_EQ(c.owned, IsOwnedByMelvox(".mvx")) << "'" << c.value << "'";
    }
    RegSetString(HKEY_CLASSES_ROOT, ".mvx", "", std::string(79, 'M'));
    EXPECT_FALSE(IsOwnedByMelvox(".mvx"));
    RegSetString(HKEY_CLASSES_ROOT, ".mvx", "", "Melvox" + std::string(200, ' '));
    EXPECT_FALSE(IsOwnedByMelvox(".mvx"));
    RegRemoveTree(HKEY_CLASSES_ROOT, ".mvx");
    EXPECT_FALSE(IsOwnedByMelvox(".mvx"));
    RegSetString(HKEY_CLASSES_ROOT, ".mvx", "Content Type", "x"); // key without a default
    EXPECT_FALSE(IsOwnedByMelvox(".mvx"));
    SetRegistryRoot(HKEY_CLASSES_ROOT);
}

TEST_F(RegistryCleanup, RestoresOwnersAndRemovesEveryKey)
{
    // Owners before setup: .mvx none, .zip another program, .cab Melvox in
    // other letter case (nothing saved), .arj another program that takes it
    // back after setup, .lzh a key without a default value.
    RegSetString(HKEY_CLASSES_ROOT, ".zip", "", "WinZipper.Zip");
    RegSetString(HKEY_CLASSES_ROOT, ".zip", "Content Type", "application/zip");
    RegSetString(HKEY_CLASSES_ROOT, ".cab", "", "MELVOX");
    RegSetString(HKEY_CLASSES_ROOT, ".arj", "", "ArjOld");
    RegSetString(HKEY_CLASSES_ROOT, ".lzh", "PerceivedType", "compressed");
    // Neighbours that must survive.
    RegSetString(HKEY_CLASSES_ROOT, "*\\shellex\\ContextMenuHandlers\\MelvoxTestOther", "", "{other}");
    RegSetString(HKEY_LOCAL_MACHINE, kWindows + "Shell Extensions\\Approved", "{00000000-MELVOX-TEST}", "other");
    RegSetString(HKEY_LOCAL_MACHINE, kWindows + "App Paths\\Melvox95.exe", "", "C:\\Old\\Melvox95.exe");

    ApplySetupSteps("C:\\");
    ASSERT_EQ("Melvox", Read(HKEY_CLASSES_ROOT, ".arj", ""));
    ASSERT_EQ("WinZipper.Zip", Read(HKEY_CURRENT_USER, "Software\\Melvox\\Setup\\.zip", "Type"));
    ASSERT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, "Melvox\\shellex\\DropHandler"));
    RegSetString(HKEY_CLASSES_ROOT, ".arj", "", "ArjNew"); // taken over after setup
    RegSetString(HKEY_CLASSES_ROOT, ".zip", "", "mElVoX"); // still Melvox's

    RestoreAssociations();
    RemoveRegistryKeys();
    EXPECT_EQ(HKEY_CLASSES_ROOT, g_hRegRoot);

    EXPECT_EQ("", Read(HKEY_CLASSES_ROOT, ".mvx", ""));
    EXPECT_EQ("application/x-mvx-compressed", Read(HKEY_CLASSES_ROOT, ".mvx", "Content Type"));
    EXPECT_EQ("WinZipper.Zip", Read(HKEY_CLASSES_ROOT, ".zip", ""));
    EXPECT_EQ("application/zip", Read(HKEY_CLASSES_ROOT, ".zip", "Content Type"));
    EXPECT_EQ("", Read(HKEY_CLASSES_ROOT, ".cab", ""));
    EXPECT_EQ("ArjNew", Read(HKEY_CLASSES_ROOT, ".arj", ""));
    EXPECT_EQ("", Read(HKEY_CLASSES_ROOT, ".lzh", ""));
    EXPECT_EQ("compressed", Read(HKEY_CLASSES_ROOT, ".lzh", "PerceivedType"));

    EXPECT_EQ("", MelvoxKeysLeft());

    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, "*\\shellex\\ContextMenuHandlers\\MelvoxTestOther"));
    EXPECT_TRUE(RegValueExists(HKEY_LOCAL_MACHINE, kWindows + "Shell Extensions\\Approved",
                               "{00000000-MELVOX-TEST}"));

    // A second run finds nothing of Melvox's and changes nothing.
    std::string before = DumpMelvoxState();
    RestoreAssociations();
    RemoveRegistryKeys();
    EXPECT_EQ(before, DumpMelvoxState());
}

TEST_F(RegistryCleanup, ProgIdGoesEvenWithoutOwnedTypes)
{
    ApplySetupSteps("C:\\");
    for (const char *ext : {".mvx", ".zip", ".cab", ".arj", ".lzh"})
        RegSetString(HKEY_CLASSES_ROOT, ext, "", "MelvoxTestOwner");
    RestoreAssociations();
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, "Melvox"));
    // The saved owners are not consulted for types Melvox no longer owns.
    for (const char *ext : {".mvx", ".zip", ".cab", ".arj", ".lzh"})
        EXPECT_EQ("MelvoxTestOwner", Read(HKEY_CLASSES_ROOT, ext, "")) << ext;
}

int g_heard;

LRESULT CALLBACK CountNotifications(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP) {
        g_heard++;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Setup's OK and the uninstall's cleanup each tell the shell once that the
// types changed hands; an uninstall answered No says nothing. Wine hands a
// notification only to windows of the process that sends it, so both run
// here through the library, and a window of this process listens.
TEST_F(RegistryCleanup, TheShellHearsOnceThatTheTypesChangedHands)
{
    WNDCLASSA type = {};
    type.lpfnWndProc = CountNotifications;
    type.hInstance = GetModuleHandleA(NULL);
    type.lpszClassName = "MelvoxTestListener";
    RegisterClassA(&type);
    HWND listener = CreateWindowA(type.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, type.hInstance, NULL);
    ASSERT_NE(nullptr, listener);
    SHChangeNotifyEntry everything = {NULL, TRUE};
    ULONG registration = SHChangeNotifyRegister(listener, SHCNRF_ShellLevel | SHCNRF_InterruptLevel,
                                                SHCNE_ASSOCCHANGED, WM_APP, 1, &everything);
    ASSERT_NE(0u, registration);
    auto heard = [] {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        int count = g_heard;
        g_heard = 0;
        return count;
    };
    heard();
    g_hProgram = g_hResources = GetModuleHandleA(NULL);
    char saved[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, saved);

    ApplySetupSteps("C:\\");
    EXPECT_EQ("Melvox", Read(HKEY_CLASSES_ROOT, ".zip", ""));
    EXPECT_EQ(1, heard()) << "after setup";
    CleanUpRegistry();
    EXPECT_EQ("", MelvoxKeysLeft());
    EXPECT_EQ(1, heard()) << "after the uninstall's registry cleanup";

    HWND asked = NULL;
    std::thread answer([&asked] {
        asked = WaitForDialog("Uninstall Melvox", GetCurrentProcessId());
        if (asked)
            Press(asked, IDNO);
    });
    RunUninstall();
    answer.join();
    EXPECT_NE(nullptr, asked);
    EXPECT_EQ(0, heard()) << "after an uninstall answered No";
    SetCurrentDirectoryA(saved);
    SHChangeNotifyDeregister(registration);
    DestroyWindow(listener);
}

struct Shortcut {
    int csidl;
    std::string name;
};

TEST(RemoveShortcuts, LinksAndProgramGroupGoNeighboursStay)
{
    std::string desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
    std::string startMenu = SpecialFolder(CSIDL_STARTMENU);
    std::string programs = SpecialFolder(CSIDL_PROGRAMS);
    ASSERT_FALSE(desktop.empty());
    ASSERT_FALSE(startMenu.empty());
    ASSERT_FALSE(programs.empty());
    std::string group = Join(programs, "Melvox");

    // Nothing there: nothing happens.
    RemoveShortcuts();

    WriteFileText(Join(desktop, "Melvox.lnk"), "link");
    WriteFileText(Join(startMenu, "Melvox.lnk"), "link");
    WriteFileText(Join(desktop, "Melvox other.lnk"), "keep");
    CreateDirectoryA(group.c_str(), NULL);
    CreateDirectoryA(Join(group, "User folder").c_str(), NULL);
    WriteFileText(Join(group, "Melvox.lnk"), "link");
    WriteFileText(Join(group, "User folder\\notes.txt"), "the user's");
    SetFileAttributesA(Join(group, "Melvox.lnk").c_str(), FILE_ATTRIBUTE_READONLY);
    std::string common = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
    if (!common.empty())
        WriteFileText(Join(common, "Melvox.lnk"), "other users'");

    RemoveShortcuts();

    EXPECT_FALSE(FileExists(Join(desktop, "Melvox.lnk")));
    EXPECT_FALSE(FileExists(Join(startMenu, "Melvox.lnk")));
    EXPECT_FALSE(FolderExists(group));
    EXPECT_TRUE(FolderExists(programs));
    EXPECT_TRUE(FileExists(Join(desktop, "Melvox other.lnk")));
    if (!common.empty()) {
        EXPECT_TRUE(FileExists(Join(common, "Melvox.lnk")));
        DeleteFileA(Join(common, "Melvox.lnk").c_str());
    }
    DeleteFileA(Join(desktop, "Melvox other.lnk").c_str());

    // Only the group was made, a read-only file in a folder of its own: it
    // still goes, on the 95 family's ANSI road too.
    const DWORD platform = g_osVersion.dwPlatformId;
    for (DWORD road : {platform, (DWORD)PLATFORM_WIN9X}) {
        g_osVersion.dwPlatformId = road;
        CreateDirectoryA(group.c_str(), NULL);
        CreateDirectoryA(Join(group, "User folder").c_str(), NULL);
        WriteFileText(Join(group, "User folder\\notes.txt"), "the user's");
        SetFileAttributesA(Join(group, "User folder\\notes.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        RemoveShortcuts();
        EXPECT_FALSE(FolderExists(group)) << "platform " << road;

        // Nested deeper than the walk goes: the deepest folder it reaches
        // stays, with those above it, and is the one named.
        std::string deep = group;
        CreateDirectoryA(group.c_str(), NULL);
        for (int level = 0; level < 17; level++)
            CreateDirectoryA((deep = Join(deep, "d")).c_str(), NULL);
        WriteFileText(Join(deep, "x.txt"), "deep");
        HeldFiles left = {};
        RemoveShortcuts(&left);
        EXPECT_EQ(1, left.count) << "platform " << road;
        EXPECT_EQ(deep.substr(0, deep.size() - 2), left.count ? left.names : "") << "platform " << road;
        FreeHeldFiles(&left);
        RemoveTree(group);
    }
    g_osVersion.dwPlatformId = platform;
}

} // namespace
