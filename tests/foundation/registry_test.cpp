// The registry layer against Wine's real registry. Everything is made
// below HKEY_CURRENT_USER\Software\MelvoxTests and removed afterwards.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "registry/registry.h"
#include "testsupport.h"

using namespace testsupport;

namespace {

const char *const BASE = "Software\\MelvoxTests";
const char MARK = (char)0xCC;

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegRemoveTree(HKEY_CURRENT_USER, BASE);
        g_osVersion.dwPlatformId = VER_PLATFORM_WIN32_NT;
        SetRegistryRoot(HKEY_CURRENT_USER);
    }
    void TearDown() override
    {
        SetRegistryRoot(HKEY_CLASSES_ROOT);
        RegRemoveTree(HKEY_CURRENT_USER, BASE);
    }
    static std::string Key(const std::string &sub) { return std::string(BASE) + "\\" + sub; }
    static void MakeKey(const std::string &sub) { RegSetString(HKEY_CURRENT_USER, Key(sub), "v", "x"); }
    static bool Exists(const std::string &sub) { return RegKeyExists(HKEY_CURRENT_USER, Key(sub)); }
};

TEST_F(RegistryTest, StartUpMakesClassesRootTheRoot)
{
    SetRegistryRoot(HKEY_LOCAL_MACHINE);
    StartUp(GetModuleHandleA(NULL));
    WriteRegString("MelvoxTestClass", "", "x");
    CleanUp();
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, "MelvoxTestClass"));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "MelvoxTestClass"));
    RegRemoveTree(HKEY_CLASSES_ROOT, "MelvoxTestClass");
}

TEST_F(RegistryTest, WritesCreateIntermediateKeysWithExactTypesAndSizes)
{
    WriteRegString(Key("a\\b\\c").c_str(), "text", "Melvox");
    WriteRegString(Key("a").c_str(), "", "");
    WriteRegDword(Key("a\\b").c_str(), "number", 0x12345678);
    const unsigned char bytes[] = {0x00, 0x76, 0x78, 0x21, 0x00};
    WriteRegBinary(Key("a\\b").c_str(), "Data", bytes, sizeof bytes);

    DWORD type = 0;
    std::vector<unsigned char> raw;
    ASSERT_TRUE(RegReadRaw(HKEY_CURRENT_USER, Key("a\\b\\c"), "text", &type, &raw));
    EXPECT_EQ((DWORD)REG_SZ, type);
    EXPECT_EQ(std::vector<unsigned char>({'M', 'e', 'l', 'v', 'o', 'x', 0}), raw);

    ASSERT_TRUE(RegReadRaw(HKEY_CURRENT_USER, Key("a"), "", &type, &raw));
    EXPECT_EQ((DWORD)REG_SZ, type);
    EXPECT_EQ(1u, raw.size()) << "an empty text is stored as its terminator alone";

    ASSERT_TRUE(RegReadRaw(HKEY_CURRENT_USER, Key("a\\b"), "number", &type, &raw));
    EXPECT_EQ((DWORD)REG_DWORD, type);
    EXPECT_EQ(std::vector<unsigned char>({0x78, 0x56, 0x34, 0x12}), raw);

    ASSERT_TRUE(RegReadRaw(HKEY_CURRENT_USER, Key("a\\b"), "Data", &type, &raw));
    EXPECT_EQ((DWORD)REG_BINARY, type);
    EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + sizeof bytes), raw);
}

TEST_F(RegistryTest, ReadStringFallsBackWholeAndNeverWritesPastCapacity)
{
    RegSetString(HKEY_CURRENT_USER, Key("r"), "fits", "1234567");   // 8 bytes
    RegSetString(HKEY_CURRENT_USER, Key("r"), "long", "12345678");  // 9 bytes
    RegSetString(HKEY_CURRENT_USER, Key("r"), "empty", "");
    RegSetRaw(HKEY_CURRENT_USER, Key("r"), "bare", REG_BINARY, "abc", 3);
    RegSetRaw(HKEY_CURRENT_USER, Key("r"), "bare8", REG_BINARY, "abcdefgh", 8);

    const struct {
        const char *sub;
        const char *name;
        bool read;
        const char *expected;
    } cases[] = {
        {"r", "fits", true, "1234567"},
        {"r", "long", false, "dflt"},
        {"r", "empty", true, ""},
        {"r", "missing", false, "dflt"},
        {"nokey", "fits", false, "dflt"},
        {"r", "bare", true, "abc"},      // stored without terminator: one added
        {"r", "bare8", false, "dflt"},   // no room left for a terminator
    };
    for (const auto &c : cases) {
        char buffer[16];
        memset(buffer, MARK, sizeof buffer);
        bool read = ReadRegString(Key(c.sub).c_str(), c.name, buffer, "dflt", 8);
        EXPECT_EQ(c.read, read) << c.name;
        EXPECT_STREQ(c.expected, buffer) << c.name;
        for (int i = 8; i < 16; i++)
            ASSERT_EQ(MARK, buffer[i]) << c.name << ": byte " << i << " written";
    }
}

TEST_F(RegistryTest, ReadDwordDefaultsOnMissingOrOversizedValues)
{
    RegSetDword(HKEY_CURRENT_USER, Key("d"), "one", 1);
    RegSetDword(HKEY_CURRENT_USER, Key("d"), "zero", 0);
    RegSetRaw(HKEY_CURRENT_USER, Key("d"), "eight", REG_BINARY, "\1\0\0\0\0\0\0\0", 8);
    RegSetRaw(HKEY_CURRENT_USER, Key("d"), "two", REG_BINARY, "\x34\x12", 2);
    EXPECT_EQ(1u, ReadRegDword(Key("d").c_str(), "one", 7));
    EXPECT_EQ(0u, ReadRegDword(Key("d").c_str(), "zero", 7));
    EXPECT_EQ(7u, ReadRegDword(Key("d").c_str(), "eight", 7));
    EXPECT_EQ(0x1234u, ReadRegDword(Key("d").c_str(), "two", 7)) << "short values start from zero";
    EXPECT_EQ(7u, ReadRegDword(Key("d").c_str(), "missing", 7));
    EXPECT_EQ(7u, ReadRegDword(Key("nokey").c_str(), "one", 7));
}

TEST_F(RegistryTest, DeleteValueNeverCreatesAKey)
{
    DeleteRegValue(Key("nokey\\deeper").c_str(), "v");
    EXPECT_FALSE(Exists("nokey"));
    MakeKey("k");
    RegSetString(HKEY_CURRENT_USER, Key("k"), "w", "y");
    DeleteRegValue(Key("k").c_str(), "v");
    EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, Key("k"), "v"));
    EXPECT_TRUE(RegValueExists(HKEY_CURRENT_USER, Key("k"), "w"));
}

TEST_F(RegistryTest, DeleteKeyIsOnePlainDeletion)
{
    MakeKey("p\\child");
    EXPECT_NE(ERROR_SUCCESS, DeleteRegKey(Key("p").c_str())) << "a key with sub-keys stays";
    EXPECT_EQ(ERROR_SUCCESS, DeleteRegKey(Key("p\\child").c_str()));
    EXPECT_EQ(ERROR_SUCCESS, DeleteRegKey(Key("p").c_str()));
    EXPECT_FALSE(Exists("p"));
}

TEST_F(RegistryTest, DeleteKeyTreeRemovesWideAndDeepTrees)
{
    for (int i = 0; i < 40; i++)
        for (int j = 0; j < 3; j++)
            MakeKey("tree\\c" + std::to_string(i) + "\\g" + std::to_string(j));
    MakeKey("tree\\c7\\g1\\x\\y\\z");
    MakeKey("keep\\child");
    DeleteRegKeyTree(Key("tree").c_str());
    EXPECT_FALSE(Exists("tree"));
    EXPECT_TRUE(Exists("keep\\child")) << "a sibling of the tree was touched";
    EXPECT_EQ(0, g_nDeletedInPass) << "the last pass deletes nothing";
}

TEST_F(RegistryTest, DeleteKeyTreeOnAMissingPathChangesNothing)
{
    MakeKey("keep");
    DeleteRegKeyTree(Key("absent").c_str());
    DeleteRegKeyTree(Key("absent\\deeper").c_str());
    EXPECT_TRUE(Exists("keep"));
    EXPECT_EQ(0, g_nDeletedInPass);
}

TEST_F(RegistryTest, DeleteKeyTreeRefusesAnEmptyPath)
{
    MakeKey("keep");
    SetRegistryRoot(HKEY_CURRENT_USER);
    DeleteRegKeyTree("");
    EXPECT_TRUE(Exists("keep"));
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, "Software"));
}

TEST_F(RegistryTest, DeleteKeyTreeLeavesWhatItCannotEnumerate)
{
    std::string longName(210, 'L');
    MakeKey("t\\" + longName + "\\inner");
    MakeKey("t\\a");
    MakeKey("t\\zz");
    DeleteRegKeyTree(Key("t").c_str());
    EXPECT_TRUE(Exists("t\\" + longName)) << "a 210-character name cannot be enumerated";
    EXPECT_TRUE(Exists("t")) << "its parent cannot go while it stays";
}

TEST_F(RegistryTest, DeleteKeyTreeLeavesBranchesWhosePathsDoNotFit)
{
    // Wine refuses long paths in one call, so the deep branch is made one
    // level at a time. Each level adds 121 characters; the fifth passes 511.
    std::string segment(120, 's');
    MakeKey("t\\short\\leaf");
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, Key("t").c_str(), 0, NULL, 0,
                                             KEY_ALL_ACCESS, NULL, &key, NULL));
    for (int level = 0; level < 5; level++) {
        HKEY child;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key, segment.c_str(), 0, NULL, 0, KEY_ALL_ACCESS,
                                                 NULL, &child, NULL));
        RegCloseKey(key);
        key = child;
    }
    RegCloseKey(key);
    DeleteRegKeyTree(Key("t").c_str());
    EXPECT_FALSE(Exists("t\\short"));
    EXPECT_TRUE(Exists("t\\" + segment)) << "a branch out of reach must stay";
    EXPECT_EQ(0, g_nDeletedInPass);
    // Clean up from the bottom, one level at a time.
    for (int depth = 5; depth >= 1; depth--) {
        std::string path = "t";
        for (int level = 0; level < depth - 1; level++)
            path += "\\" + segment;
        HKEY parent;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, Key("t").c_str(), 0, KEY_ALL_ACCESS, &parent) != ERROR_SUCCESS)
            break;
        HKEY at = parent;
        for (int level = 0; level < depth - 1; level++) {
            HKEY next;
            RegOpenKeyExA(at, segment.c_str(), 0, KEY_ALL_ACCESS, &next);
            if (at != parent)
                RegCloseKey(at);
            at = next;
        }
        RegDeleteKeyA(at, segment.c_str());
        if (at != parent)
            RegCloseKey(at);
        RegCloseKey(parent);
    }
}

TEST_F(RegistryTest, OnPlatformOneATreeWithoutChildrenGoesInOneDeletion)
{
    g_osVersion.dwPlatformId = 1;
    MakeKey("single");
    g_nDeletedInPass = 12345;
    DeleteRegKeyTree(Key("single").c_str());
    EXPECT_FALSE(Exists("single"));
    EXPECT_EQ(12345, g_nDeletedInPass) << "no deletion pass should have run";

    // Wine refuses a plain deletion of a key with sub-keys, as the NT
    // family does: the passes take over.
    MakeKey("tree\\a\\b");
    MakeKey("tree\\c");
    DeleteRegKeyTree(Key("tree").c_str());
    EXPECT_FALSE(Exists("tree"));
}

} // namespace
