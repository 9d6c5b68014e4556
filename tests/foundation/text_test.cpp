// Path and text helpers at their edges. Output buffers are pre-filled with
// a marker byte so that a write past the stated size shows.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "app/text.h"

namespace {

const char MARK = (char)0xCC;

struct Case {
    const char *input;
    const char *expected;
};

TEST(AddBackslash, AppendsOnlyWhenMissing)
{
    const Case cases[] = {
        {"", "\\"},
        {"C:\\", "C:\\"},
        {"C:\\Tools\\Melvox", "C:\\Tools\\Melvox\\"},
        {"C:\\Tools\\Melvox\\", "C:\\Tools\\Melvox\\"},
        {"dir/", "dir/\\"},  // a slash does not count
        {"C:", "C:\\"},
    };
    for (const Case &c : cases) {
        char buffer[32];
        memset(buffer, MARK, sizeof buffer);
        strcpy(buffer, c.input);
        AddBackslash(buffer);
        EXPECT_STREQ(c.expected, buffer) << "input: " << c.input;
        EXPECT_EQ(MARK, buffer[strlen(c.expected) + 1]) << "input: " << c.input;
    }
}

TEST(PointToName, LastSeparatorOfAnyKindWins)
{
    const Case cases[] = {
        {"C:\\Tools\\Melvox\\uninstall.exe", "uninstall.exe"},
        {"C:uninstall.exe", "uninstall.exe"},
        {"sub/name.txt", "name.txt"},
        {"C:\\Tools\\", ""},
        {"name.txt", "name.txt"},
        {"", ""},
        {"a\\b/c:d", "d"},
    };
    for (const Case &c : cases) {
        char buffer[64];
        strcpy(buffer, c.input);
        char *name = PointToName(buffer);
        EXPECT_STREQ(c.expected, name) << "input: " << c.input;
        EXPECT_TRUE(name >= buffer && name <= buffer + strlen(buffer));
    }
}

TEST(TrimTrailing, RemovesControlAndBlankButNotHighCodes)
{
    const Case cases[] = {
        {"name.txt\r\n", "name.txt"},
        {"word \t", "word"},
        {"word\x7f", "word"},
        {"word\x01\x1f", "word"},
        {"  lead", "  lead"},
        {"nbsp\xa0", "nbsp\xa0"},
        {"\xff", "\xff"},
        {"J\xf6rg \r\n", "J\xf6rg"},
        {" \t\r\n", ""},
        {"", ""},
        {"in ner", "in ner"},
    };
    for (const Case &c : cases) {
        char buffer[64];
        strcpy(buffer, c.input);
        TrimTrailing(buffer);
        EXPECT_STREQ(c.expected, buffer) << "input length " << strlen(c.input);
    }
}

TEST(BoundedComposition, ReportsAndTerminatesCutResults)
{
    char buffer[16];
    memset(buffer, MARK, sizeof buffer);
    EXPECT_TRUE(FormatText(buffer, 8, "%s", "1234567"));
    EXPECT_STREQ("1234567", buffer);
    EXPECT_FALSE(FormatText(buffer, 8, "%s", "12345678"));
    EXPECT_STREQ("1234567", buffer);
    EXPECT_EQ(MARK, buffer[8]);

    memset(buffer, MARK, sizeof buffer);
    EXPECT_FALSE(CopyText(buffer, 4, "abcdef"));
    EXPECT_STREQ("abc", buffer);
    EXPECT_EQ(MARK, buffer[4]);
    EXPECT_TRUE(CopyText(buffer, 4, "abc"));

    memset(buffer, MARK, sizeof buffer);
    strcpy(buffer, "ab");
    EXPECT_TRUE(AppendText(buffer, 5, "cd"));
    EXPECT_STREQ("abcd", buffer);
    EXPECT_FALSE(AppendText(buffer, 5, "e"));
    EXPECT_STREQ("abcd", buffer);
    EXPECT_EQ(MARK, buffer[5]);
}

TEST(JoinPath, AddsOneBackslashAndRefusesWhatDoesNotFit)
{
    char buffer[MAX_PATH + 4];
    EXPECT_TRUE(JoinPath(buffer, MAX_PATH, "C:\\Program Files\\Melvox", "Melvox.exe"));
    EXPECT_STREQ("C:\\Program Files\\Melvox\\Melvox.exe", buffer);
    EXPECT_TRUE(JoinPath(buffer, MAX_PATH, "D:\\", "Melvox.exe"));
    EXPECT_STREQ("D:\\Melvox.exe", buffer);

    // 249 characters of folder + '\' + 10 of name = 260: one too many.
    std::string folder = "C:\\" + std::string(246, 'f');
    memset(buffer, MARK, sizeof buffer);
    EXPECT_FALSE(JoinPath(buffer, MAX_PATH, folder.c_str(), "Melvox.exe"));
    EXPECT_EQ(MARK, buffer[MAX_PATH]);
    EXPECT_LT(strlen(buffer), (size_t)MAX_PATH);
    folder.pop_back();
    EXPECT_TRUE(JoinPath(buffer, MAX_PATH, folder.c_str(), "Melvox.exe"));
    EXPECT_EQ((size_t)MAX_PATH - 1, strlen(buffer));

    // A folder that fills the buffer leaves no room for the backslash.
    std::string full(MAX_PATH - 1, 'x');
    EXPECT_FALSE(JoinPath(buffer, MAX_PATH, full.c_str(), ""));
}

TEST(ReplaceName, ReplacesTheFileNamePart)
{
    char buffer[MAX_PATH] = "C:\\Tools\\Melvox\\uninstall.exe";
    EXPECT_TRUE(ReplaceName(buffer, sizeof buffer, "Melvox.exe"));
    EXPECT_STREQ("C:\\Tools\\Melvox\\Melvox.exe", buffer);
    char small[12] = "C:\\a\\b.exe";
    EXPECT_FALSE(ReplaceName(small, sizeof small, "longer.name"));
    EXPECT_EQ('\0', small[sizeof small - 1]);
}

TEST(FormatOneString, SubstitutesOnlyTheFirstStringConversion)
{
    struct {
        const char *format;
        const char *expected;
    } cases[] = {
        {"You should delete %s manually", "You should delete ARG manually"},
        {"%s", "ARG"},
        {"no conversion", "no conversion"},
        {"%s and %s", "ARG and %s"},
        {"100%% %s", "100% ARG"},
        {"%d %n %x %s", "%d %n %x ARG"},
        {"trailing %", "trailing %"},
        {"", ""},
    };
    for (const auto &c : cases) {
        char buffer[64];
        EXPECT_TRUE(FormatOneString(buffer, sizeof buffer, c.format, "ARG")) << c.format;
        EXPECT_STREQ(c.expected, buffer) << c.format;
    }
    char small[8];
    memset(small, MARK, sizeof small);
    EXPECT_FALSE(FormatOneString(small, 6, "ab%scd", "XYZ"));
    EXPECT_STREQ("abXYZ", small);
    EXPECT_EQ(MARK, small[6]);
}

TEST(ComposeWarning, ProgramTextsAndLongTranslationsStayWithinTheBuffer)
{
    char message[MESSAGE_SIZE + 16];
    memset(message, MARK, sizeof message);
    ComposeWarning(message, MESSAGE_SIZE, "Uninstall completed",
                   "You should delete %s manually", "C:\\Melvox\\uninstall.exe");
    EXPECT_STREQ("Uninstall completed\nYou should delete C:\\Melvox\\uninstall.exe manually",
                 message);

    // Two 255-character texts and a 259-character path need 770 bytes.
    std::string first(255, 'a');
    std::string second = std::string(120, 'b') + "%s" + std::string(133, 'c');
    std::string path = "C:\\" + std::string(256, 'p');
    memset(message, MARK, sizeof message);
    ComposeWarning(message, MESSAGE_SIZE, first.c_str(), second.c_str(), path.c_str());
    EXPECT_EQ((size_t)MESSAGE_SIZE - 1, strlen(message));
    EXPECT_EQ(0, strncmp(message, (first + "\n").c_str(), 256));
    for (size_t i = MESSAGE_SIZE; i < sizeof message; i++)
        EXPECT_EQ(MARK, message[i]) << "byte " << i;
}

TEST(EqualsIgnoringCase, ComparesAsciiLettersOnly)
{
    EXPECT_TRUE(EqualsIgnoringCase("Melvox", "MELVOX"));
    EXPECT_TRUE(EqualsIgnoringCase("melvox", "Melvox"));
    EXPECT_FALSE(EqualsIgnoringCase("Melvox", "Melvox "));
    EXPECT_FALSE(EqualsIgnoringCase("Melvo", "Melvox"));
    EXPECT_FALSE(EqualsIgnoringCase("\xc4", "\xe4")); // not ASCII: case kept
    EXPECT_TRUE(EqualsIgnoringCase("", ""));
}

} // namespace
