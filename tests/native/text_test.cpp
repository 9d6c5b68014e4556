// The path and text helpers, natively under the sanitizers: every bounded
// helper is run at every buffer size around its result's length, in
// buffers of exactly that size.
#include <gtest/gtest.h>

#include <string>

#include "app/text.h"
#include "exact_buffer.h"

namespace {

TEST(PathHelpers, AddBackslash)
{
    struct Case { const char *in, *out; } cases[] = {
        {"", "\\"},
        {"C:\\", "C:\\"},
        {"C:", "C:\\"},
        {"C:\\Tools\\Melvox", "C:\\Tools\\Melvox\\"},
        {"C:\\Tools\\Melvox\\", "C:\\Tools\\Melvox\\"},
        {"dir/", "dir/\\"},  // a slash is no backslash
        {"\\", "\\"},
    };
    for (const Case &c : cases) {
        ExactBuffer buffer(strlen(c.out) + 1);
        strcpy(buffer.get(), c.in);
        AddBackslash(buffer.get());
        EXPECT_EQ(c.out, buffer.Text()) << "input \"" << c.in << "\"";
    }
}

TEST(PathHelpers, PointToName)
{
    struct Case { const char *path; size_t nameAt; } cases[] = {
        {"C:\\Tools\\Melvox\\uninstall.exe", 16},
        {"C:uninstall.exe", 2},
        {"sub/file.txt", 4},
        {"C:\\Tools\\", 9},
        {"file.txt", 0},
        {"", 0},
        {"a\\b/c:d", 6},
        {"\\", 1},
    };
    for (const Case &c : cases) {
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
    };
    for (const Case &c : cases) {
        std::string text = c.in;
        TrimTrailing(&text[0]);
        EXPECT_EQ(c.out, std::string(text.c_str())) << "input \"" << c.in << "\"";
    }
}

// Runs compose at every buffer size from 0 to a few past the full result's
// length. At each size the result must be terminated inside the buffer, be
// the longest prefix of the full result that fits, and be reported as fitting
// exactly when it is the full result.
template <typename Compose>
void SweepSizes(const std::string &full, Compose compose, const char *what)
{
    for (size_t size = 0; size <= full.size() + 3; size++) {
        ExactBuffer buffer(size);
        bool fits = compose(buffer.get(), size);
        EXPECT_EQ(full.size() < size, fits) << what << ", size " << size;
        if (size == 0)
            continue;
        ASSERT_TRUE(buffer.Terminated()) << what << ", size " << size;
        EXPECT_EQ(full.substr(0, size - 1), buffer.Text()) << what << ", size " << size;
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
}

TEST(BoundedComposition, AppendToUnterminatedBufferRefuses)
{
    ExactBuffer buffer(8, 'x');  // no terminator anywhere
    EXPECT_FALSE(AppendText(buffer.get(), buffer.size, "abc"));
    EXPECT_FALSE(buffer.Terminated());  // untouched, not read past its end
}

TEST(BoundedComposition, JoinPath)
{
    struct Case { const char *folder, *name, *full; } cases[] = {
        {"C:\\Tools\\Melvox", "Melvox.exe", "C:\\Tools\\Melvox\\Melvox.exe"},
        {"C:\\", "Melvox.exe", "C:\\Melvox.exe"},
        {"", "x", "\\x"},
        {"C:\\a", "", "C:\\a\\"},
        {"C:\\a/", "b", "C:\\a/\\b"},
        // Nothing to add: a folder that already ends in '\\' fits as it is.
        {"C:\\", "", "C:\\"},
        {"", "", "\\"},
    };
    for (const Case &c : cases) {
        SweepSizes(c.full, [&](char *b, size_t n) { return JoinPath(b, n, c.folder, c.name); },
                   c.full);
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
    struct Case { const char *path, *name, *full; } cases[] = {
        {"C:\\Tools\\uninstall.exe", "Melvox.exe", "C:\\Tools\\Melvox.exe"},
        {"C:\\Tools\\", "a.txt", "C:\\Tools\\a.txt"},
        {"C:x.exe", "y", "C:y"},
        {"bare.exe", "other.exe", "other.exe"},
    };
    for (const Case &c : cases) {
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
    struct Case { const char *format, *argument, *full; } cases[] = {
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
    };
    for (const Case &c : cases) {
        SweepSizes(c.full, [&](char *b, size_t n) { return FormatOneString(b, n, c.format, c.argument); },
                   c.format);
    }
}

TEST(BoundedComposition, ComposeWarningIsCutAtTheBufferEnd)
{
    struct Case { std::string completed, format, path; } cases[] = {
        {"Uninstall completed.", "Please delete %s by hand.", "C:\\Tools\\Melvox\\uninstall.exe"},
        {std::string(255, 'c'), std::string(253, 'f') + "%s", "C:\\" + std::string(256, 'p')},
        {"100% done", "%d%% %s %s", "C:\\a"},
        {std::string(600, 'c'), "%s", "C:\\a"},
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
        for (size_t size : {(size_t)1, (size_t)2, c.completed.size(), c.completed.size() + 1,
                            c.completed.size() + 2, full.size(), full.size() + 1, (size_t)MESSAGE_SIZE}) {
            if (size == 0)
                continue;
            ExactBuffer buffer(size);
            ComposeWarning(buffer.get(), size, c.completed.c_str(), c.format.c_str(), c.path.c_str());
            ASSERT_TRUE(buffer.Terminated()) << "size " << size;
            EXPECT_EQ(full.substr(0, size - 1), buffer.Text()) << "size " << size;
        }
    }
}

TEST(Comparison, EqualsIgnoringCaseFoldsAsciiLettersOnly)
{
    struct Case { const char *a, *b; bool equal; } cases[] = {
        {"Melvox", "MELVOX", true},
        {"melvox.exe", "Melvox.EXE", true},
        {"", "", true},
        {"Melvox", "Melvo", false},
        {"Melvo", "Melvox", false},
        {"@", "`", false},   // 0x40 and 0x60 differ by the case bit only
        {"[", "{", false},
        {"\xC4", "\xE4", false},  // no folding beyond ASCII
        {"a\xFF", "A\xFF", true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.equal, EqualsIgnoringCase(c.a, c.b)) << c.a << " / " << c.b;
}

} // namespace
