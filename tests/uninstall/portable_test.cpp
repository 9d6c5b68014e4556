// The list reader and the script composer: plain C, no Win32 needed.
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "uninstall/listfile.h"
#include "uninstall/script_text.h"

namespace {

const char PREFIX[] = "C:\\Inst\\"; // 8 characters

// Every entry that ReadListEntry yields for the given list bytes.
std::vector<std::string> Entries(const std::string &bytes, const char *prefix = PREFIX)
{
    std::vector<std::string> found;
    FILE *list = tmpfile();
    if (list == NULL) {
        ADD_FAILURE() << "tmpfile failed";
        return found;
    }
    fwrite(bytes.data(), 1, bytes.size(), list);
    rewind(list);
    char name[MAX_PATH];
    while (ReadListEntry(list, prefix, name) && found.size() < 100)
        found.push_back(name);
    fclose(list);
    return found;
}

std::vector<std::string> Full(std::initializer_list<std::string> entries)
{
    std::vector<std::string> names;
    for (const std::string &e : entries)
        names.push_back(PREFIX + e);
    return names;
}

struct ListCase {
    const char *what;
    std::string bytes;
    std::vector<std::string> expected;
};

TEST(ReadListEntry, LineHandling)
{
    const std::string a250(250, 'a'), a251(251, 'a'), a252(252, 'a');
    const std::string long519(519, 'L'), long520(520, 'L'), long2000(2000, 'L');
    const ListCase cases[] = {
        {"LF lines", "one\ntwo\n", Full({"one", "two"})},
        {"CR LF lines", "one\r\ntwo\r\n", Full({"one", "two"})},
        {"last line without LF", "one\ntwo", Full({"one", "two"})},
        {"trailing blanks, tabs, DEL", "one \t \r\ntwo\x7f\n", Full({"one", "two"})},
        {"code 160 kept at both ends", "\xA0name\xA0\r\n", Full({"\xA0name\xA0"})},
        {"leading blank kept", "  lead\n", Full({"  lead"})},
        {"inner blanks kept", "My Files\\a b.txt\n", Full({"My Files\\a b.txt"})},
        {"empty and blank lines skipped", "\n\r\n   \n\t\x01\r\nx\n\n", Full({"x"})},
        {"empty list", "", {}},
        {"only blank lines", "\n \n\r\n", {}},
        {"overlong line skipped whole", long520 + "\\evil\nnext\n", Full({"next"})},
        {"very long line skipped whole", long2000 + "\nnext", Full({"next"})},
        {"overlong last line", "first\n" + long2000, Full({"first"})},
        {"519 characters read whole, too long for a name", long519 + "\nnext\n", Full({"next"})},
        {"name of 259 characters fits", a251 + "\n", Full({a251})},
        {"name of 260 characters skipped", a252 + "\n" + a250 + "\n", Full({a250})},
        {"traversal skipped", "..\\x\nsub\\..\\..\\y\nok\n", Full({"ok"})},
        {"NUL inside a line skipped whole", std::string("ab\0cd\nok\n", 9), Full({"ok"})},
        {"NUL past the buffer", long520 + std::string("\0x\nok\n", 6), Full({"ok"})},
    };
    for (const ListCase &c : cases)
        EXPECT_EQ(c.expected, Entries(c.bytes)) << c.what;
}

TEST(ReadListEntry, DriveRootPrefix)
{
    EXPECT_EQ(std::vector<std::string>({"C:\\a.txt"}), Entries("a.txt\r\n", "C:\\"));
    // A name fits only as long as prefix + entry stays below MAX_PATH.
    std::string e257(257, 'e');
    EXPECT_EQ(std::vector<std::string>({"C:\\" + e257.substr(1)}),
              Entries(e257 + "\n" + e257.substr(1) + "\n", "C:\\"));
}

TEST(IsTraversalEntry, Components)
{
    const char *const climbing[] = {
        "..", "..\\x", "../x", "..\\..\\x", ".. \\x", "...\\x", " ..\\x", ". .\\x",
        "sub\\..\\..\\x", "sub/../x", "a\\..", "a/...", "a\\.. ", "x\\\\..\\y", "....",
    };
    const char *const staying[] = {
        "x", ".\\x", "./x", "..x", "x..", "a..b\\c", "...a\\b", ".x\\y", "", ".", " . ",
        "a\\.\\b", "a\\x.\\..b", "\xA0..\\x", "..\t\\x",
    };
    for (const char *e : climbing)
        EXPECT_TRUE(IsTraversalEntry(e)) << e;
    for (const char *e : staying)
        EXPECT_FALSE(IsTraversalEntry(e)) << e;
}

std::string Compose(int platformId, const char *p, const char *f, const char *s,
                    size_t size = SCRIPT_TEXT_SIZE)
{
    std::vector<char> buffer(size + 1, '#');
    size_t n = ComposeCleanupScript(buffer.data(), size, platformId, p, f, s);
    if (size > 0)
        EXPECT_EQ(n, strlen(buffer.data()));
    return n ? std::string(buffer.data(), n) : std::string();
}

TEST(ComposeCleanupScript, NtFormWithPercentInPaths)
{
    const char *p = "C:\\Melvox 100%\\uninstall.exe";
    const char *f = "C:\\Melvox 100%";
    const char *s = "C:\\users\\a%b%\\Temp\\Uninstall.Mvx.Bat";
    const std::string block =
        "del \"C:\\Melvox 100%%\\uninstall.exe\"\r\n"
        "rd \"C:\\Melvox 100%%\"\r\n"
        "if not exist \"C:\\Melvox 100%%\\uninstall.exe\" goto done\r\n";
    const std::string expected =
        "\"C:\\Melvox 100%%\\uninstall.exe\" /wait\r\n" + block + block + block + block + block +
        ":done\r\n"
        "if exist \"C:\\Melvox 100%%\\uninstall.exe\" \"C:\\Melvox 100%%\\uninstall.exe\" /warning\r\n"
        "del \"C:\\users\\a%%b%%\\Temp\\Uninstall.Mvx.Bat\"";
    EXPECT_EQ(expected, Compose(2, p, f, s));
    // Any platform id other than 1 is the NT family.
    EXPECT_EQ(expected, Compose(0, p, f, s));
}

TEST(ComposeCleanupScript, Win9xFormAtDriveRoot)
{
    const std::string block =
        "del \"C:\\uninstall.exe\"\r\n"
        "rd \"C:\\\"\r\n"
        "if not exist \"C:\\uninstall.exe\" goto done\r\n";
    const std::string expected =
        "start /wait \"C:\\uninstall.exe\" /wait\r\n" + block + block + block + block + block +
        ":done\r\n"
        "if exist \"C:\\uninstall.exe\" \"C:\\uninstall.exe\" /warning\r\n"
        "del \"C:\\WINDOWS\\TEMP\\Uninstall.Mvx.Bat\"";
    std::string text = Compose(1, "C:\\uninstall.exe", "C:\\", "C:\\WINDOWS\\TEMP\\Uninstall.Mvx.Bat");
    EXPECT_EQ(expected, text);
    size_t lines = 1;
    for (char c : text)
        lines += c == '\n';
    EXPECT_EQ(19u, lines);
}

TEST(ComposeCleanupScript, Bounds)
{
    // Three paths of 259 '%' each, doubled, still fit the script buffer.
    std::string worst(259, '%');
    std::string text = Compose(1, worst.c_str(), worst.c_str(), worst.c_str());
    // 19 paths: one in line 1, three in each block, three in the tail.
    EXPECT_EQ(19u * 518 + strlen("start /wait \"\" /wait\r\n") +
                  5 * strlen("del \"\"\r\nrd \"\"\r\nif not exist \"\" goto done\r\n") +
                  strlen(":done\r\nif exist \"\" \"\" /warning\r\ndel \"\""),
              text.size());
    // Too small a buffer gives 0 and an empty text, never a cut script.
    const char *p = "C:\\M\\uninstall.exe";
    const char *s = "C:\\T\\Uninstall.Mvx.Bat";
    size_t full = Compose(2, p, "C:\\M", s).size();
    ASSERT_GT(full, 0u);
    EXPECT_EQ(full, Compose(2, p, "C:\\M", s, full + 1).size());
    for (size_t size : {full, full / 2, (size_t)1}) {
        std::vector<char> buffer(size, '#');
        EXPECT_EQ(0u, ComposeCleanupScript(buffer.data(), size, 2, p, "C:\\M", s))
            << size;
        EXPECT_EQ('\0', buffer[0]);
    }
    EXPECT_EQ(0u, ComposeCleanupScript(NULL, 0, 2, p, "C:\\M", s));
}

} // namespace
