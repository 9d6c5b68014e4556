// List-driven removal against real files.
#include <gtest/gtest.h>

#include "testsupport.h"
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
        {"folder before its file", {{"d\\"}, {"d\\a.txt"}}, "d\r\nd\\a.txt\r\n", 3, {"d"}, {}},
        {"chain of four folders outside-in, file last",
         {{"c1\\"}, {"c1\\c2\\"}, {"c1\\c2\\c3\\"}, {"c1\\c2\\c3\\c4\\"}, {"c1\\c2\\c3\\c4\\f.txt"}},
         "c1\nc1\\c2\nc1\\c2\\c3\nc1\\c2\\c3\\c4\nc1\\c2\\c3\\c4\\f.txt\n", 6, {"c1"}, {}},
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
    int n = 0;
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
        n++;
    }
    EXPECT_EQ(12, n);
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

} // namespace
