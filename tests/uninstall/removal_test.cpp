// List-driven removal against real files, and the security of the folder
// that the cleanup script gets.
#include <gtest/gtest.h>

#include "testsupport.h"
#include "uninstall/uninstall.h"
#include "uninstall_support.h"

using namespace testsupport;
using namespace uninstalltest;

namespace {

struct RemovalCase {
    const char *what;
    std::vector<Item> layout;
    std::string list;
    int passes;
    std::vector<std::string> gone;
    std::vector<std::string> kept;
};

TEST(RemoveListedFiles, PassesAndOutcomes)
{
    const DWORD RO = FILE_ATTRIBUTE_READONLY, HID = FILE_ATTRIBUTE_HIDDEN, SYS = FILE_ATTRIBUTE_SYSTEM;
    const RemovalCase cases[] = {
        {"files before their folder", {{"d\\"}, {"d\\a.txt"}, {"d\\b.txt"}},
         "d\\a.txt\nd\\b.txt\nd\n", 2, {"d"}, {}},
        {"inner folders before outer ones", {{"d\\"}, {"d\\e\\"}, {"d\\e\\f\\"}},
         "d\\e\\f\nd\\e\nd\n", 2, {"d"}, {}},
        {"folder before its file", {{"d\\"}, {"d\\a.txt"}}, "d\r\nd\\a.txt\r\n", 2, {"d"}, {}},
        // Whatever the order, a well-formed list is gone in one pass; the
        // second finds nothing left.
        {"reverse order: files, then folders inside-out", {{"d\\"}, {"d\\e\\"}, {"d\\e\\a.txt"}, {"d\\b.txt"}},
         "d\\b.txt\nd\\e\\a.txt\nd\\e\nd\n", 2, {"d"}, {}},
        {"installer order: each folder before its files", {{"d\\"}, {"d\\e\\"}, {"d\\e\\a.txt"}, {"d\\b.txt"}},
         "d\r\nd\\b.txt\r\nd\\e\r\nd\\e\\a.txt\r\n", 2, {"d"}, {}},
        {"chain of four folders outside-in, file last, either separator",
         {{"c1\\"}, {"c1\\c2\\"}, {"c1\\c2\\c3\\"}, {"c1\\c2\\c3\\c4\\"}, {"c1\\c2\\c3\\c4\\f.txt"}},
         "c1\nc1/c2\nc1\\c2\\c3\\\nc1\\c2/c3\\c4\nc1\\c2\\c3\\c4\\f.txt\n", 2, {"c1"}, {}},
        // Named deeper than the folder it holds, it is tried first and
        // fails; the next pass takes it.
        {"folder that empties only in a later pass", {{"d\\"}, {"d\\e\\"}, {"d\\e\\f\\"}},
         "d\\.\\.\\e\nd\\e\\f\n", 3, {"d\\e"}, {"d"}},
        {"read-only, hidden and system files and folder",
         {{"d\\"}, {"d\\ro.txt", RO}, {"d\\hid.txt", HID}, {"d\\sys.txt", SYS},
          {"d\\all.txt", RO | HID | SYS}, {"e\\", RO | HID}},
         "d\\ro.txt\nd\\hid.txt\nd\\sys.txt\nd\\all.txt\nd\ne\n", 2, {"d", "e"}, {}},
        {"entry listed twice", {{"a.txt"}}, "a.txt\na.txt\n", 2, {"a.txt"}, {}},
        {"unlisted file keeps its folder", {{"d\\"}, {"d\\a.txt"}, {"d\\keep.txt"}},
         "d\nd\\a.txt\n", 2, {"d\\a.txt"}, {"d", "d\\keep.txt"}},
        {"names that do not exist", {{"a.txt"}}, "missing.txt\nmissing\\\n", 1, {}, {"a.txt"}},
        {"empty list", {{"a.txt"}}, "", 1, {}, {"a.txt"}},
        {"leading blank is part of the name", {{" lead.txt"}, {"lead.txt"}},
         " lead.txt \t\r\n", 2, {" lead.txt"}, {"lead.txt"}},
        {"blank lines between entries", {{"a.txt"}, {"b.txt"}}, "\n\na.txt\n \t \n\nb.txt", 2,
         {"a.txt", "b.txt"}, {}},
        {"traversal entries delete nothing, the rest goes",
         {{"sub\\"}, {"sub\\x.txt"}, {"x.txt"}}, "sub\\..\\x.txt\n..\\inst\\x.txt\nsub\\x.txt\n", 2,
         {"sub\\x.txt"}, {"x.txt", "sub"}},
    };
    for (const RemovalCase &c : cases) {
        std::string root = MakeTempFolder("removal");
        std::string inst = Join(root, "inst");
        CreateDirectoryA(inst.c_str(), NULL);
        LayOut(inst, c.layout);
        EXPECT_EQ(c.passes, RemoveWithList(inst + "\\", c.list)) << c.what;
        for (const std::string &name : c.gone)
            EXPECT_FALSE(Exists(inst, name)) << c.what << ": " << name;
        for (const std::string &name : c.kept)
            EXPECT_TRUE(Exists(inst, name)) << c.what << ": " << name;
        EXPECT_TRUE(FolderExists(inst)) << c.what;
        RemoveTree(root);
    }
}

// Attributes are read only when a delete is refused: read-only and hidden
// files still go, and a file held open without delete sharing (read-only
// too, so its second refusal decides) is the one reported as held.
TEST(RemoveListedFiles, RefusedDeletesAreSortedOut)
{
    std::string root = MakeTempFolder("removal-held");
    std::string inst = Join(root, "inst");
    CreateDirectoryA(inst.c_str(), NULL);
    LayOut(inst, {{"d\\"}, {"d\\ro.txt", FILE_ATTRIBUTE_READONLY}, {"d\\hid.txt", FILE_ATTRIBUTE_HIDDEN},
                  {"d\\held.txt", FILE_ATTRIBUTE_READONLY}});
    HANDLE open = CreateFileA(Join(inst, "d\\held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, open);
    WriteFileText(Join(root, "list.lst"), "d\nd\\ro.txt\nd\\held.txt\nd\\hid.txt\n");
    FILE *list = fopen(Join(root, "list.lst").c_str(), "rb");
    HeldFiles held = {};
    EXPECT_EQ(2, RemoveListedFiles(list, (inst + "\\").c_str(), &held));
    fclose(list);
    CloseHandle(open);
    ASSERT_EQ(1, held.count);
    EXPECT_EQ(Join(inst, "d\\held.txt"), held.names);
    EXPECT_FALSE(Exists(inst, "d\\ro.txt") || Exists(inst, "d\\hid.txt"));
    EXPECT_TRUE(Exists(inst, "d\\held.txt") && FolderExists(Join(inst, "d")));
    FreeHeldFiles(&held);
    RemoveTree(root);
}

// The test program links with --wrap=realloc: this can refuse the memory
// for the flags that let later passes skip what is gone.
bool g_refuseRealloc;
int g_refusedReallocs;
extern "C" void *__real_realloc(void *block, size_t size);
extern "C" void *__wrap_realloc(void *block, size_t size)
{
    if (g_refuseRealloc) {
        g_refusedReallocs++;
        return NULL;
    }
    return __real_realloc(block, size);
}

// Without the flags every entry is tried in every pass, and a removal
// counts only when its name is gone. A file held open with delete sharing
// is deleted while its name stays: the passes still end, and the rest of
// the list goes.
TEST(RemoveListedFiles, WithoutMemoryForTheFlagsThePassesStillEnd)
{
    std::string root = MakeTempFolder("removal-nomem");
    std::string inst = Join(root, "inst");
    CreateDirectoryA(inst.c_str(), NULL);
    LayOut(inst, {{"d\\"}, {"d\\a.txt"}, {"held.txt"}, {"b.txt"}});
    HANDLE held = CreateFileA(Join(inst, "held.txt").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    g_refusedReallocs = 0;
    g_refuseRealloc = true;
    int passes = RemoveWithList(inst + "\\", "d\nheld.txt\nd\\a.txt\nb.txt\n");
    g_refuseRealloc = false;
    CloseHandle(held);
    EXPECT_GT(g_refusedReallocs, 0);
    EXPECT_EQ(3, passes); // d goes in the second pass, once empty
    for (const char *name : {"d", "d\\a.txt", "b.txt"})
        EXPECT_FALSE(Exists(inst, name)) << name;
    RemoveTree(root);
}

// Lines that would reach out of the install folder, each run through the
// real removal with canary files and folders at every level above it.
TEST(RemoveListedFiles, HostileLinesTouchNothingOutside)
{
    const char *const hostile[] = {
        "..\\x", "..\\..\\x", "..\\..\\..\\x", ".. \\x", "...\\x", "....\\x", " ..\\x", ". .\\x",
        "..  \\x", "sub\\..\\..\\x", "sub\\..\\sub\\..\\..\\x", "../x", "../../x", "sub/../../x",
        "..\\\\x", ".\\..\\x", "..\\inst\\..\\x", "..\\b\\x", "..\\..\\a\\x", "..", "..\\", "..\\.",
        "...", "sub\\..", "sub\\...", "..\\x\r", "..\\x \t", "..\\y\\", "..\\y", "../y",
    };
    std::string root = MakeTempFolder("hostile");
    // root\a\b\inst is the install folder; x and y canaries at every level.
    std::string levels[] = {root, Join(root, "a"), Join(root, "a\\b")};
    std::string inst = Join(root, "a\\b\\inst");
    CreateDirectoryA(levels[1].c_str(), NULL);
    CreateDirectoryA(levels[2].c_str(), NULL);
    CreateDirectoryA(inst.c_str(), NULL);
    std::string above = "C:\\melvox-tests";
    for (const std::string &level : {above, levels[0], levels[1], levels[2]})
        LayOut(level, {{"x"}, {"y\\"}});
    LayOut(inst, {{"sub\\"}, {"sub\\keep.txt"}, {"ok.txt"}});

    std::string list;
    for (const char *line : hostile)
        list += std::string(line) + "\n";
    list += "ok.txt\n";
    int passes = RemoveWithList(inst + "\\", list);

    EXPECT_EQ(2, passes);
    EXPECT_FALSE(Exists(inst, "ok.txt")); // the removal did run
    EXPECT_TRUE(Exists(inst, "sub\\keep.txt"));
    EXPECT_TRUE(FolderExists(inst));
    int canaries = 0;
    for (const std::string &level : {above, levels[0], levels[1], levels[2]}) {
        EXPECT_TRUE(FileExists(Join(level, "x"))) << level;
        EXPECT_TRUE(FolderExists(Join(level, "y"))) << level;
        canaries += 2;
    }
    printf("hostile lines tried: %u, canaries untouched: %d\n",
           (unsigned)(sizeof hostile / sizeof hostile[0]), canaries);
    RecordProperty("hostile_lines", (int)(sizeof hostile / sizeof hostile[0]));
    DeleteFileA(Join(above, "x").c_str());
    RemoveDirectoryA(Join(above, "y").c_str());
    RemoveTree(root);
}

// The script folder's descriptor as the program builds it (Wine keeps none
// on a folder, so it cannot be read back from one): owned by
// Administrators, and a protected list giving full control to
// Administrators and SYSTEM, handed on to what the folder holds, and to
// nobody else. Everything it points to lies inside the structure.
TEST(ScriptFolder, OnlyAdministratorsAndSystemMayChangeIt)
{
    ScriptFolderSecurity security;
    memset(&security, 0xA5, sizeof security);
    ASSERT_TRUE(BuildScriptFolderSecurity(&security));
    PSECURITY_DESCRIPTOR descriptor = &security.descriptor;
    ASSERT_TRUE(IsValidSecurityDescriptor(descriptor));
    auto inside = [&](const void *p) {
        return (const BYTE *)p >= (const BYTE *)&security && (const BYTE *)p < (const BYTE *)(&security + 1);
    };
    BYTE admins[SECURITY_MAX_SID_SIZE], system[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof admins;
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, NULL, admins, &size));
    size = sizeof system;
    ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, NULL, system, &size));

    PSID owner = NULL;
    BOOL defaulted = TRUE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
    EXPECT_TRUE(owner != NULL && inside(owner) && EqualSid(owner, admins));
    EXPECT_FALSE(defaulted);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_EQ(SE_DACL_PRESENT | SE_DACL_PROTECTED, control) << std::hex << control;
    BOOL present = FALSE;
    PACL acl = NULL;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted));
    ASSERT_TRUE(present && acl != NULL && inside(acl));
    ACL_SIZE_INFORMATION information;
    ASSERT_TRUE(GetAclInformation(acl, &information, sizeof information, AclSizeInformation));
    const struct { const char *who; PSID sid; } expected[] = {{"Administrators", admins}, {"SYSTEM", system}};
    ASSERT_EQ(2u, information.AceCount);
    for (DWORD i = 0; i < information.AceCount; i++) {
        ACCESS_ALLOWED_ACE *ace = NULL;
        ASSERT_TRUE(GetAce(acl, i, (void **)&ace));
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType) << expected[i].who;
        EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, ace->Header.AceFlags) << expected[i].who;
        EXPECT_EQ((DWORD)FILE_ALL_ACCESS, ace->Mask) << expected[i].who << std::hex << " " << ace->Mask;
        EXPECT_TRUE(EqualSid(&ace->SidStart, expected[i].sid)) << expected[i].who;
    }
}

} // namespace
