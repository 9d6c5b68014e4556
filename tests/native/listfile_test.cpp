// The uninstall list reader, natively under the sanitizers: the edges of
// the line buffer and of MAX_PATH, hostile spellings, read errors and the
// rewinding of the removal passes. The full name always goes into a heap
// buffer of exactly MAX_PATH bytes.
#include <errno.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "exact_buffer.h"
#include "lead_bytes.h"
#include "uninstall/listfile.h"

namespace {

FILE *ListOf(const std::string &bytes)
{
    FILE *list = tmpfile();
    fwrite(bytes.data(), 1, bytes.size(), list);
    rewind(list);
    return list;
}

std::vector<std::string> Entries(FILE *list, const std::string &prefix)
{
    std::vector<std::string> found;
    ExactBuffer fullName(MAX_PATH);
    while (ReadListEntry(list, prefix.c_str(), fullName.get()) && found.size() < 1000) {
        EXPECT_TRUE(fullName.Terminated());
        found.push_back(fullName.Text().substr(prefix.size()));
    }
    return found;
}

std::vector<std::string> Entries(const std::string &bytes, const std::string &prefix = "C:\\M\\")
{
    FILE *list = ListOf(bytes);
    std::vector<std::string> found = Entries(list, prefix);
    fclose(list);
    return found;
}

using Names = std::vector<std::string>;

// A name followed by blanks up to the line's length: trimming would leave a
// short name, so only the length rule decides. The line buffer takes 519
// characters besides the LF; a longer line is skipped whole and the line
// after it is read from its start.
TEST(ListLines, LengthEdgeDecidesAloneWhateverTrimmingLeaves)
{
    struct End { const char *what, *chars; } ends[] = {{"LF", "\n"}, {"CR LF", "\r\n"}, {"end of file", ""}};
    for (size_t raw = 510; raw <= 530; raw++) {
        for (const End &end : ends) {
            // raw characters before the LF, the CR counted among them.
            std::string line = "keep.txt";
            line.resize(raw - (end.chars[0] == '\r' ? 1 : 0), ' ');
            line += end.chars;
            Names expected;
            if (raw <= 519)
                expected.push_back("keep.txt");
            if (end.chars[0])
                expected.push_back("next.txt");
            EXPECT_EQ(expected, Entries(line + (end.chars[0] ? "next.txt" : "")))
                << "line of " << raw << " characters, " << end.what;
        }
    }
}

// An overlong line's tail never becomes an entry, wherever the buffer's
// edge falls in it: on a separator, on a "..", just before the LF.
TEST(ListLines, TailOfAnOverlongLineIsNeverAnEntry)
{
    for (size_t head = 515; head <= 525; head++) {
        for (const char *tail : {"\\..\\..\\Windows\\win.ini", "evil.txt", "\\", "..", " x"}) {
            std::string bytes = std::string(head, 'A') + tail + "\nnext\n";
            EXPECT_EQ(Names({"next"}), Entries(bytes)) << head << " + " << tail;
        }
    }
    std::string huge(100000, 'B');
    EXPECT_EQ(Names({"next"}), Entries(huge + "\\tail\nnext"));
    EXPECT_EQ(Names({}), Entries(huge));
}

// Prefix and entry together must stay within 259 characters.
TEST(ListLines, JoinedNameAtTheMaxPathEdge)
{
    for (const std::string &prefix : {std::string("\\"), std::string("C:\\"),
                                     "C:\\" + std::string(120, 'p') + "\\",
                                     "C:\\" + std::string(255, 'p') + "\\"}) {
        for (size_t total = 255; total <= 262; total++) {
            if (total <= prefix.size())
                continue;
            std::string entry(total - prefix.size(), 'e');
            Names expected;
            if (total <= 259)
                expected.push_back(entry);
            if (prefix.size() + 5 <= 259)
                expected.push_back("after");
            EXPECT_EQ(expected, Entries(entry + "\r\nafter\n", prefix))
                << "prefix " << prefix.size() << ", total " << total;
        }
    }
}

// Spellings that climb out of the install folder, or might be taken to:
// every one is skipped, and the safe lines around them are kept.
TEST(ListLines, HostileSpellingsAreSkipped)
{
    const char *const hostile[] = {
        "..", "...", "....", ". .", " ..", ".. ", " . . ",
        "..\\x", "../x", ".. \\x", "...\\x", " ..\\x", ".. /x",
        "..\\..\\Windows\\win.ini", "../../Windows/win.ini", "..\\..\\..\\..\\..\\..\\x",
        "sub\\..\\..\\x", "sub/../../x", "sub\\..\\x", "a\\b\\..\\..\\..\\x",
        "sub\\.. \\x", "sub\\ ..\\x", "sub\\...\\x", "sub/. ./x",
        "sub\\..", "sub\\...", "sub/..", "sub\\..\\",
        "\\..\\x", "/../x", "\\\\..\\x", "sub\\\\..\\\\..\\x",
        "..\\x\r", ".. \t\r", "..\\x \t", "..\x7f",
        "\\..", "x\\y\\z\\..\\..\\..\\..",
    };
    std::string bytes = "first\n";
    for (const char *line : hostile)
        bytes += std::string(line) + "\n";
    bytes += "last\n";
    EXPECT_EQ(Names({"first", "last"}), Entries(bytes));
    // Under a double-byte code page too, and with double-byte names: a
    // lead byte before '.', '/' or a blank stands alone, as none of them
    // can be a trail byte.
    const std::string dbcs = "\x95\x5C\\..\\..\\x\n\x83\x5C/../../x\n\x81/..\\x\n\x81 /..\n"
                             "..\\\x83\x5C\n\x95\x5C\\\x95\x5C\\..\\..\\..\\x\n";
    for (LeadByteRule leadBytes : {LeadByte932, LeadByte936}) {
        CodePageRule rule(leadBytes);
        EXPECT_EQ(Names({"first", "last"}), Entries(bytes)) << "hostile lines under a double-byte rule";
        EXPECT_EQ(Names({"first", "last"}), Entries("first\n" + dbcs + "last\n"));
    }
}

// Names with dots that stay inside: nothing safe is lost.
TEST(ListLines, DottedNamesInsideAreKept)
{
    const Names inside = {".", ".\\x", "./x", "..x", "x..", "a..b\\c", "...a", ".hidden", "a.b\\.", "v1.2\\.\\x",
                          "sub\\.\\x", "x.\\y", "\xA0..\\x", "..\xA0\\x", ". x\\y", "x\\. "};
    std::string bytes;
    for (const std::string &line : inside)
        bytes += line + "\r\n";
    Names expected = inside;
    expected.back() = "x\\.";  // its trailing blank goes
    EXPECT_EQ(expected, Entries(bytes));
    // Names whose trail byte is 0x5C (表 95 5C, ソ 83 5C, 能 94 5C; Big5
    // 功 A5 5C) in their own code page: nothing of them is a separator, so
    // "ソ.." is a name and not "..", under the prefix of a folder "Melvox 表".
    struct { LeadByteRule rule; const char *prefix; Names names; } dbcs[] = {
        {LeadByte932, "C:\\Melvox \x95\x5C\\",
         {"\x95\x5C\\data.txt", "\x83\x5C\x83\x74\x83\x67.txt", "\x94\x5C", "\x83\x5C..", "\x95\x5C..\\x",
          "x\\\x83\x5C..\\y", "\x83\x41\x83\x5C"}},
        {LeadByte936, "C:\\Melvox \xA5\x5C\\", {"\xA5\x5C..", "\xB3\x5C\\..x", "\x81\x5C\\\x9C\x5C"}},
    };
    for (const auto &d : dbcs) {
        CodePageRule rule(d.rule);
        std::string lines;
        for (const std::string &name : d.names)
            lines += name + "\r\n";
        EXPECT_EQ(d.names, Entries(lines, d.prefix));
    }
}

// NUL bytes and codes 128 to 255: a line holding a NUL is no file name and
// is skipped whole; high codes are part of the name.
TEST(ListLines, NulAndHighBytes)
{
    struct Case { std::string bytes; Names expected; } cases[] = {
        {std::string("ab\0cd\nok\n", 9), {"ok"}},
        {std::string("\0\n\0\0\nok", 7), {"ok"}},
        {std::string("ok\n\0", 4), {"ok"}},
        {std::string("ab\0", 3), {}},
        {std::string("..\\\0x\nok\n", 9), {"ok"}},
        {"J\xF6rg\\\xE9t\xE9.txt\n\x80\x81\xFF\n", {"J\xF6rg\\\xE9t\xE9.txt", "\x80\x81\xFF"}},
        {"\xFF\xFF\xFF \r\n", {"\xFF\xFF\xFF"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, Entries(c.bytes)) << "case of " << c.bytes.size() << " bytes";
}

// The removal orders folders by this depth, and the restart schedule its
// folders too. A trail byte 0x5C (表 95 5C, ソ 83 5C) is no separator in
// its own code page, but is in 1252.
TEST(ListLines, DepthCountsSeparatorsThatHaveANameAfterThem)
{
    struct { const char *entry; int depth, depth932; } cases[] = {
        {"a", 0, 0}, {"a\\b", 1, 1}, {"a/b\\c", 2, 2}, {"a\\b\\", 1, 1}, {"a\\\\b//c", 2, 2},
        {"\\", 0, 0}, {"\x95\x5C" "x", 1, 0}, {"a\\\x83\x5C" "b", 2, 1}, {"\x83\x5C", 0, 0},
        {"C:\\M\\a/sub", 3, 3}, {"C:\\M\\sub/", 2, 2}, {"C:\\M\\\x95\x5C" "a/", 3, 2},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.depth, EntryDepth(c.entry)) << c.entry;
        CodePageRule rule(LeadByte932);
        EXPECT_EQ(c.depth932, EntryDepth(c.entry)) << c.entry << " in 932";
    }
}

// Whether an entry lies in a folder entry: the removal asks it of each
// entry's neighbours, the restart schedule of every held file.
TEST(ListLines, FolderHoldsWhatLiesBelowItsSpelling)
{
    struct { const char *folder, *name; bool holds, holds932; } cases[] = {
        {"sub", "sub\\held.dll", true, true}, {"sub\\", "sub\\held.dll", true, true},
        {"sub/", "sub\\held.dll", true, true}, {"a/sub", "a\\sub\\x", true, true},
        {"C:\\M\\A\\SUB", "c:\\m\\a\\sub/x", true, true}, {"a\\\\b", "a\\b\\\\c", true, true},
        {"sub", "subway\\x", false, false}, {"sub", "sub", false, false}, {"sub", "sub\\", false, false},
        {"sub\\", "sub", false, false}, {"sub\\x", "sub", false, false},
        {"\x95", "\x95\x5C" "x", true, false}, {"\x95\x5C", "\x95\x5C\\x", true, true},
        {"\x83\x41", "\x83\x61\\x", true, false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.holds, EntryHolds(c.folder, c.name)) << c.folder << " / " << c.name;
        CodePageRule rule(LeadByte932);
        EXPECT_EQ(c.holds932, EntryHolds(c.folder, c.name)) << c.folder << " / " << c.name << " in 932";
    }
}

// The removal passes rewind the list and read it again: each pass must see
// the same entries, and the end must keep answering false.
TEST(ListReading, RewoundListGivesTheSameEntries)
{
    std::string bytes = std::string(600, 'A') + "\nb\r\n\n..\\c\nd";
    FILE *list = ListOf(bytes);
    for (int pass = 0; pass < 3; pass++) {
        EXPECT_EQ(Names({"b", "d"}), Entries(list, "C:\\M\\")) << "pass " << pass;
        ExactBuffer fullName(MAX_PATH);
        EXPECT_FALSE(ReadListEntry(list, "C:\\M\\", fullName.get()));
        fseek(list, 0, SEEK_SET);
    }
    // The overlong line and the one climbing out are counted, not the empty one.
    const ListLine kinds[] = {LINE_UNREADABLE, LINE_ENTRY, LINE_EMPTY, LINE_REFUSED, LINE_ENTRY, LINE_END};
    ExactBuffer fullName(MAX_PATH);
    for (ListLine kind : kinds)
        EXPECT_EQ(kind, ReadListLine(list, "C:\\M\\", fullName.get()));
    unsigned skipped = 0;
    fseek(list, 0, SEEK_SET);
    while (ReadListEntry(list, "C:\\M\\", fullName.get(), &skipped)) {
    }
    EXPECT_EQ(2u, skipped);
    fclose(list);
}

// A stream that gives its bytes, then fails as a disk or a network share
// does.
struct FailingSource {
    std::string bytes;
    size_t at;
};

ssize_t ReadThenFail(void *cookie, char *buffer, size_t size)
{
    FailingSource *source = static_cast<FailingSource *>(cookie);
    if (source->at == source->bytes.size()) {
        errno = EIO;
        return -1;
    }
    size_t n = std::min(size, source->bytes.size() - source->at);
    memcpy(buffer, source->bytes.data() + source->at, n);
    source->at += n;
    return (ssize_t)n;
}

// A read error ends the list, and the line it cut short is no entry: its
// head would name some other file.
TEST(ListReading, ReadErrorEndsTheList)
{
    FILE *writeOnly = fopen("/dev/null", "w");
    ASSERT_NE(nullptr, writeOnly);
    ExactBuffer fullName(MAX_PATH);
    EXPECT_FALSE(ReadListEntry(writeOnly, "C:\\M\\", fullName.get()));
    fclose(writeOnly);

    for (const char *cut : {"a\nMelvox.exe.bak", "a\r\nSkins\\Cl", "a\nb"}) {
        FailingSource source = {cut, 0};
        cookie_io_functions_t io = {ReadThenFail, nullptr, nullptr, nullptr};
        FILE *list = fopencookie(&source, "r", io);
        ASSERT_NE(nullptr, list);
        EXPECT_EQ(Names({"a"}), Entries(list, "C:\\M\\")) << cut;
        EXPECT_TRUE(ferror(list)) << cut;
        fclose(list);
    }
}

TEST(ListReading, TwentyThousandEntries)
{
    std::string bytes;
    for (int i = 0; i < 20000; i++)
        bytes += "dir" + std::to_string(i % 50) + "\\file" + std::to_string(i) + ".dat\r\n";
    FILE *list = ListOf(bytes);
    ExactBuffer fullName(MAX_PATH);
    int count = 0;
    std::string last;
    while (ReadListEntry(list, "C:\\Program Files\\Melvox\\", fullName.get())) {
        count++;
        last = fullName.Text();
    }
    fclose(list);
    EXPECT_EQ(20000, count);
    EXPECT_EQ("C:\\Program Files\\Melvox\\dir49\\file19999.dat", last);
}

} // namespace
