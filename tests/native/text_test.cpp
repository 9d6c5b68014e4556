// The path and text helpers, natively under the sanitizers: every bounded
// helper is run at every buffer size around its result's length, in
// buffers of exactly that size.
#include <gtest/gtest.h>

#include <string>

#include "app/text.h"
#include "exact_buffer.h"
#include "lead_bytes.h"

namespace {

// Rows with a rule run under that double-byte code page, where the trail
// byte 0x5C of 表 (95 5C) or ソ (83 5C) is no backslash.
TEST(PathHelpers, AddBackslash)
{
    struct Case { const char *in, *out; LeadByteRule rule = nullptr; } cases[] = {
        {"", "\\"},
        {"C:\\", "C:\\"},
        {"C:", "C:\\"},
        {"C:\\Tools\\Melvox", "C:\\Tools\\Melvox\\"},
        {"C:\\Tools\\Melvox\\", "C:\\Tools\\Melvox\\"},
        {"dir/", "dir/\\"},  // a slash is no backslash
        {"\\", "\\"},
        {"C:\\Melvox \x95\x5C", "C:\\Melvox \x95\x5C\\", LeadByte932},
        {"C:\\\x95\x5C\\", "C:\\\x95\x5C\\", LeadByte932},
        {"C:\\Melvox \xA5\x5C", "C:\\Melvox \xA5\x5C\\", LeadByte936},
        {"C:\\Melvox \x95\x5C", "C:\\Melvox \x95\x5C", nullptr},
    };
    for (const Case &c : cases) {
        CodePageRule rule(c.rule);
        ExactBuffer buffer(strlen(c.out) + 1);
        strcpy(buffer.get(), c.in);
        AddBackslash(buffer.get());
        EXPECT_EQ(c.out, buffer.Text()) << "input \"" << c.in << "\"";
    }
}

TEST(PathHelpers, PointToName)
{
    struct Case { const char *path; size_t nameAt; LeadByteRule rule = nullptr; } cases[] = {
        {"C:\\Tools\\Melvox\\uninstall.exe", 16},
        {"C:uninstall.exe", 2},
        {"sub/file.txt", 4},
        {"C:\\Tools\\", 9},
        {"file.txt", 0},
        {"", 0},
        {"a\\b/c:d", 6},
        {"\\", 1},
        {"C:\\a\x83\x5C", 3, LeadByte932},
        {"C:\\a\x83\x5C", 6},
        {"C:\\\x95\x5C\\x", 6, LeadByte932},
        {"\x81:\x81/\x81\x5Cx", 4, LeadByte936},  // ':' and '/' are never trail bytes
    };
    for (const Case &c : cases) {
        CodePageRule rule(c.rule);
        std::string path = c.path;
        const char *name = PointToName(path.c_str());
        EXPECT_EQ(c.nameAt, (size_t)(name - path.c_str())) << "path \"" << c.path << "\"";
    }
}

// Codes 1 to 32 and 127 go, whatever follows them in the table of codes;
// 128 to 255 stay, although plain char is signed here.
TEST(PathHelpers, TrimTrailingRemovesExactlyBlanksAndControls)
{
    for (int code = 1; code < 256; code++) {
        std::string text = std::string("name") + (char)code + (char)code;
        TrimTrailing(&text[0]);
        bool removed = code <= 32 || code == 127;
        EXPECT_EQ(removed ? std::string("name") : std::string("name") + (char)code + (char)code,
                  std::string(text.c_str()))
            << "code " << code;
    }
}

TEST(PathHelpers, TrimTrailingEdges)
{
    struct Case { std::string in, out; } cases[] = {
        {"file.txt\r\n", "file.txt"},
        {"word \t", "word"},
        {"name\xA0", "name\xA0"},
        {" \t\r\n\x7F\x01", ""},
        {"", ""},
        {"  lead", "  lead"},
        {"in ner \r", "in ner"},
        {"\xA0 \xA0 ", "\xA0 \xA0"},
        {"\x95\x5C \r\n", "\x95\x5C"},
    };
    for (const Case &c : cases) {
        std::string text = c.in;
        TrimTrailing(&text[0]);
        EXPECT_EQ(c.out, std::string(text.c_str())) << "input \"" << c.in << "\"";
    }
}

// The longest prefix of text within limit bytes that ends between two
// characters, counted here apart from the code under test.
std::string WholePrefix(const std::string &text, size_t limit, LeadByteRule rule)
{
    size_t end = 0;
    for (size_t at = 0; at < text.size();) {
        size_t length = rule && rule((unsigned char)text[at]) && at + 1 < text.size() ? 2 : 1;
        if (at + length > limit)
            break;
        at += length;
        end = at;
    }
    return text.substr(0, end);
}

// Runs compose at every buffer size from 0 to a few past the full result's
// length, under the given code page. At each size the result must be
// terminated inside the buffer, be the longest whole-character prefix of
// the full result that fits, and be reported as fitting exactly when it
// is the full result.
template <typename Compose>
void SweepSizes(const std::string &full, Compose compose, const char *what, LeadByteRule leadBytes = nullptr)
{
    CodePageRule rule(leadBytes);
    for (size_t size = 0; size <= full.size() + 3; size++) {
        ExactBuffer buffer(size);
        bool fits = compose(buffer.get(), size);
        EXPECT_EQ(full.size() < size, fits) << what << ", size " << size;
        if (size == 0)
            continue;
        ASSERT_TRUE(buffer.Terminated()) << what << ", size " << size;
        EXPECT_EQ(WholePrefix(full, size - 1, leadBytes), buffer.Text()) << what << ", size " << size;
    }
}

TEST(BoundedComposition, FormatText)
{
    SweepSizes("Cannot open list file Uninstall.lst",
               [](char *b, size_t n) { return FormatText(b, n, "Cannot open %s file %s", "list", "Uninstall.lst"); },
               "FormatText");
    SweepSizes("7 of 12%", [](char *b, size_t n) { return FormatText(b, n, "%d of %u%%", 7, 12u); },
               "FormatText numbers");
    SweepSizes("", [](char *b, size_t n) { return FormatText(b, n, "%s", ""); }, "FormatText empty");
    SweepSizes("C:\\\x95\x5C\x83\x5C\x94\x5C",
               [](char *b, size_t n) { return FormatText(b, n, "C:\\%s", "\x95\x5C\x83\x5C\x94\x5C"); },
               "FormatText 932", LeadByte932);
}

TEST(BoundedComposition, CopyAndAppend)
{
    SweepSizes("C:\\Program Files\\Melvox",
               [](char *b, size_t n) { return CopyText(b, n, "C:\\Program Files\\Melvox"); }, "CopyText");
    SweepSizes("C:\\Program Files\\Melvox", [](char *b, size_t n) {
        if (n == 0)
            return AppendText(b, n, "x");
        // Whatever the first part did, the second must not run past the end.
        bool first = CopyText(b, n, "C:\\Program");
        return AppendText(b, n, " Files\\Melvox") && first;
    }, "CopyText then AppendText");
    SweepSizes("C:\\\xA5\x5C\xB3\x5C", [](char *b, size_t n) { return CopyText(b, n, "C:\\\xA5\x5C\xB3\x5C"); },
               "CopyText 950", LeadByte936);
}

TEST(BoundedComposition, AppendToUnterminatedBufferRefuses)
{
    ExactBuffer buffer(8, 'x');  // no terminator anywhere
    EXPECT_FALSE(AppendText(buffer.get(), buffer.size, "abc"));
    EXPECT_FALSE(buffer.Terminated());  // untouched, not read past its end
}

TEST(BoundedComposition, JoinPath)
{
    struct Case { const char *folder, *name, *full; LeadByteRule rule = nullptr; } cases[] = {
        {"C:\\Tools\\Melvox", "Melvox.exe", "C:\\Tools\\Melvox\\Melvox.exe"},
        {"C:\\", "Melvox.exe", "C:\\Melvox.exe"},
        {"", "x", "\\x"},
        {"C:\\a", "", "C:\\a\\"},
        {"C:\\a/", "b", "C:\\a/\\b"},
        // Nothing to add: a folder that already ends in '\\' fits as it is.
        {"C:\\", "", "C:\\"},
        {"", "", "\\"},
        {"C:\\Melvox \x95\x5C", "Melvox.exe", "C:\\Melvox \x95\x5C\\Melvox.exe", LeadByte932},
        {"C:\\Melvox \x81\x5C", "", "C:\\Melvox \x81\x5C\\", LeadByte936},
        {"C:\\\x83\x5C\\", "\x83\x5C.txt", "C:\\\x83\x5C\\\x83\x5C.txt", LeadByte932},
    };
    for (const Case &c : cases) {
        SweepSizes(c.full, [&](char *b, size_t n) { return JoinPath(b, n, c.folder, c.name); },
                   c.full, c.rule);
    }
}

// The MAX_PATH boundary as the uninstall uses it: 259 characters fit.
TEST(BoundedComposition, JoinPathAtMaxPath)
{
    std::string folder = "C:\\" + std::string(200, 'f');
    for (size_t nameLength = 50; nameLength <= 60; nameLength++) {
        std::string name(nameLength, 'n');
        ExactBuffer buffer(MAX_PATH);
        bool fits = JoinPath(buffer.get(), MAX_PATH, folder.c_str(), name.c_str());
        size_t full = folder.size() + 1 + nameLength;
        EXPECT_EQ(full <= 259, fits) << "length " << full;
        ASSERT_TRUE(buffer.Terminated());
    }
}

TEST(BoundedComposition, ReplaceName)
{
    struct Case { const char *path, *name, *full; LeadByteRule rule = nullptr; } cases[] = {
        {"C:\\Tools\\uninstall.exe", "Melvox.exe", "C:\\Tools\\Melvox.exe"},
        {"C:\\Tools\\", "a.txt", "C:\\Tools\\a.txt"},
        {"C:x.exe", "y", "C:y"},
        {"bare.exe", "other.exe", "other.exe"},
        {"C:\\\x95\x5C\\uninstall.exe", "Melvox.exe", "C:\\\x95\x5C\\Melvox.exe", LeadByte932},
        {"C:\\a\x95\x5C" "b.exe", "Melvox.exe", "C:\\Melvox.exe", LeadByte932},
    };
    for (const Case &c : cases) {
        CodePageRule rule(c.rule);
        std::string path = c.path;
        size_t keep = (size_t)(PointToName(path.c_str()) - path.c_str());
        // Sizes below the kept folder part cannot hold the path at all.
        for (size_t size = strlen(c.path) + 1; size <= strlen(c.full) + 3; size++) {
            ExactBuffer buffer(size);
            strcpy(buffer.get(), c.path);
            bool fits = ReplaceName(buffer.get(), size, c.name);
            EXPECT_EQ(strlen(c.full) < size, fits) << c.full << ", size " << size;
            ASSERT_TRUE(buffer.Terminated());
            EXPECT_EQ(std::string(c.full).substr(0, size - 1), buffer.Text());
            EXPECT_EQ(std::string(c.path, keep), buffer.Text().substr(0, keep));
        }
    }
}

// Translated format texts reach FormatOneString; none of them may make it
// read an argument that is not there.
TEST(BoundedComposition, FormatOneString)
{
    struct Case { const char *format, *argument, *full; LeadByteRule rule = nullptr; } cases[] = {
        {"Cannot open list file %s", "Uninstall.lst", "Cannot open list file Uninstall.lst"},
        {"%s", "C:\\x", "C:\\x"},
        {"%s and %s", "A", "A and %s"},
        {"100%% %s", "B", "100% B"},
        {"%d %x %n %p %s", "C", "%d %x %n %p C"},
        {"trailing %", "D", "trailing %"},
        {"%%s %s", "E", "%s E"},
        {"no argument", "F", "no argument"},
        {"%s", "50% off %s", "50% off %s"},  // the argument is never a format
        {"", "G", ""},
        // Nothing slips in after a character that did not fit whole.
        {"\x83\x5C%s\x95\x5Cx", "C:\\\x94\x5C", "\x83\x5C" "C:\\\x94\x5C\x95\x5Cx", LeadByte932},
        {"%s\x83\x41", "\xA5\x5C", "\xA5\x5C\x83\x41", LeadByte936},
    };
    for (const Case &c : cases) {
        SweepSizes(c.full, [&](char *b, size_t n) { return FormatOneString(b, n, c.format, c.argument); },
                   c.format, c.rule);
    }
}

TEST(BoundedComposition, ComposeWarningIsCutAtTheBufferEnd)
{
    struct Case { std::string completed, format, path; LeadByteRule rule = nullptr; } cases[] = {
        {"Uninstall completed.", "Please delete %s by hand.", "C:\\Tools\\Melvox\\uninstall.exe"},
        {std::string(255, 'c'), std::string(253, 'f') + "%s", "C:\\" + std::string(256, 'p')},
        {"100% done", "%d%% %s %s", "C:\\a"},
        {std::string(600, 'c'), "%s", "C:\\a"},
        {"\x83\x41\x83\x93", "%s \x82\xF0\x8D\xED\x8F\x9C", "C:\\\x95\x5C\\uninstall.exe", LeadByte932},
    };
    for (const Case &c : cases) {
        std::string full = c.completed + "\n";
        std::string rest = c.format;
        size_t at = rest.find("%s");
        // The expected text, built independently of FormatOneString.
        std::string expanded;
        for (size_t i = 0; i < rest.size(); i++) {
            if (i == at) {
                expanded += c.path;
                i++;
            } else if (rest[i] == '%' && i + 1 < rest.size() && rest[i + 1] == '%') {
                expanded += '%';
                i++;
            } else {
                expanded += rest[i];
            }
        }
        full += expanded;
        CodePageRule rule(c.rule);
        for (size_t size : {(size_t)1, (size_t)2, c.completed.size(), c.completed.size() + 1,
                            c.completed.size() + 2, full.size(), full.size() + 1, (size_t)MESSAGE_SIZE}) {
            if (size == 0)
                continue;
            ExactBuffer buffer(size);
            ComposeWarning(buffer.get(), size, c.completed.c_str(), c.format.c_str(), c.path.c_str());
            ASSERT_TRUE(buffer.Terminated()) << "size " << size;
            EXPECT_EQ(WholePrefix(full, size - 1, c.rule), buffer.Text()) << "size " << size;
        }
    }
}

// Under code page 932 a trail byte that is a letter is compared as it is:
// ア (83 41) is not ヂ (83 61).
TEST(Comparison, EqualsIgnoringCaseFoldsAsciiLettersOnly)
{
    struct Case { const char *a, *b; bool equal; LeadByteRule rule = nullptr; } cases[] = {
        {"Melvox", "MELVOX", true},
        {"melvox.exe", "Melvox.EXE", true},
        {"", "", true},
        {"Melvox", "Melvo", false},
        {"Melvo", "Melvox", false},
        {"@", "`", false},   // 0x40 and 0x60 differ by the case bit only
        {"[", "{", false},
        {"\xC4", "\xE4", false},  // no folding beyond ASCII
        {"a\xFF", "A\xFF", true},
        {"\x83\x41", "\x83\x61", false, LeadByte932},
        {"\x83\x41", "\x83\x61", true},
        {"x\x83\x41.EXE", "X\x83\x41.exe", true, LeadByte932},
        {"\x83", "\x83\x41", false, LeadByte932},
    };
    for (const Case &c : cases) {
        CodePageRule rule(c.rule);
        EXPECT_EQ(c.equal, EqualsIgnoringCase(c.a, c.b)) << c.a << " / " << c.b;
    }
}

TEST(Comparison, StartsWithIgnoringCase)
{
    struct Case { const char *text, *prefix; bool starts; LeadByteRule rule = nullptr; } cases[] = {
        {"C:\\Tools\\x", "c:\\TOOLS", true},
        {"C:\\Tool", "C:\\Tools", false},
        {"abc", "", true},
        {"C:\\\x95\x5C\\x", "C:\\\x95\x5C", true, LeadByte932},
        {"C:\\\x83\x61\\x", "C:\\\x83\x41", false, LeadByte932},
        // The prefix ends inside the text's first double-byte character.
        {"\x95\x5C", "\x95", false, LeadByte932},
    };
    for (const Case &c : cases) {
        CodePageRule rule(c.rule);
        EXPECT_EQ(c.starts, StartsWithIgnoringCase(c.text, c.prefix)) << c.text << " / " << c.prefix;
    }
}

} // namespace
