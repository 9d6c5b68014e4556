// The cleanup script's text, natively under the sanitizers: every buffer
// size around the text's length, in buffers of exactly that size, and the
// paths that a batch file would read wrongly.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "exact_buffer.h"
#include "uninstall/script_text.h"

namespace {

// own: the script's own folder, which its last line removes (NULL: the
// script lies in the temp folder).
struct Paths { const char *what, *program, *folder, *script, *own; };

const Paths kPaths[] = {
    {"plain", "C:\\Tools\\Melvox\\uninstall.exe", "C:\\Tools\\Melvox",
     "C:\\users\\me\\Temp\\Uninstall.Mvx.Bat", nullptr},
    {"own folder", "C:\\Tools\\Melvox\\uninstall.exe", "C:\\Tools\\Melvox",
     "C:\\Windows\\Temp\\Melvox-1F4-0\\Uninstall.Mvx.Bat", "C:\\Windows\\Temp\\Melvox-1F4-0"},
    {"drive root", "C:\\uninstall.exe", "C:\\", "C:\\WINDOWS\\TEMP\\Uninstall.Mvx.Bat", nullptr},
    {"percent", "C:\\Melvox 100%\\uninstall.exe", "C:\\Melvox 100%", "C:\\%TEMP%\\Uninstall.Mvx.Bat",
     "C:\\%TEMP%"},
    {"only percent", "%", "%%", "%%%", "%"},
    // Converted to the OEM code page before they get here; the composer
    // copies high codes unchanged.
    {"high codes", "C:\\J\x94rg\\uninstall.exe", "C:\\J\x94rg", "C:\\\xE9\\Uninstall.Mvx.Bat", nullptr},
    // Code page 932, where cmd reads the ANSI bytes as they are: 表 (95 5C)
    // ends the folder, and its trail byte must reach the script unchanged.
    {"double-byte", "C:\\Melvox \x95\x5C\\uninstall.exe", "C:\\Melvox \x95\x5C", "C:\\\x83\x5C%\\Uninstall.Mvx.Bat",
     "C:\\\x83\x5C%"},
    {"empty", "", "", "", ""},
};

std::string Full(const Paths &p, int platformId)
{
    ExactBuffer buffer(SCRIPT_TEXT_SIZE);
    size_t n = ComposeCleanupScript(buffer.get(), buffer.size, platformId, p.program, p.folder, p.script,
                                    p.own);
    EXPECT_EQ(n, buffer.Text().size());
    return buffer.Text();
}

TEST(ScriptText, EveryBufferSizeAroundTheLength)
{
    for (const Paths &p : kPaths) {
        for (int platformId : {1, 2}) {
            std::string full = Full(p, platformId);
            ASSERT_FALSE(full.empty()) << p.what;
            for (size_t size = 0; size <= full.size() + 2; size++) {
                // Size 0 gets one byte, which must stay as it was.
                ExactBuffer buffer(size ? size : 1);
                size_t n = ComposeCleanupScript(buffer.get(), size, platformId, p.program, p.folder, p.script,
                                                p.own);
                if (size == 0) {
                    EXPECT_EQ(0u, n);
                    EXPECT_EQ('#', buffer.get()[0]) << p.what;
                    continue;
                }
                ASSERT_TRUE(buffer.Terminated()) << p.what << ", size " << size;
                if (full.size() < size) {
                    EXPECT_EQ(full.size(), n) << p.what << ", size " << size;
                    EXPECT_EQ(full, buffer.Text()) << p.what << ", size " << size;
                } else {
                    // Never a cut script: a batch file cut short could delete
                    // the folder and skip the warning.
                    EXPECT_EQ(0u, n) << p.what << ", size " << size;
                    EXPECT_EQ("", buffer.Text()) << p.what << ", size " << size;
                }
            }
        }
    }
}

// Outside the paths the script holds no '%' of its own, and each path's
// '%' comes doubled, however many there are in a row. The last line
// deletes the script and then removes its own folder, if it has one.
TEST(ScriptText, PercentOfEveryPathIsDoubled)
{
    for (const Paths &p : kPaths) {
        std::string text = Full(p, 2);
        std::string program = p.program, folder = p.folder, script = p.script, own = p.own ? p.own : "";
        auto doubled = [](std::string s) {
            for (size_t at = s.find('%'); at != std::string::npos; at = s.find('%', at + 2))
                s.insert(at, "%");
            return s;
        };
        auto count = [](const std::string &s, const std::string &what) {
            size_t n = 0;
            for (size_t at = s.find(what); !what.empty() && at != std::string::npos; at = s.find(what, at + 1))
                n++;
            return n;
        };
        size_t percents = 13 * count(program, "%") + 5 * count(folder, "%") + count(script, "%") + count(own, "%");
        EXPECT_EQ(2 * percents, count(text, "%")) << p.what;
        if (!program.empty())
            EXPECT_NE(std::string::npos, text.find("del \"" + doubled(program) + "\"\r\n")) << p.what;
        EXPECT_NE(std::string::npos, text.find("rd \"" + doubled(folder) + "\"\r\n")) << p.what;
        std::string last = "\r\ndel \"" + doubled(script) + "\"" + (p.own ? " & rd \"" + doubled(own) + "\"" : "");
        EXPECT_EQ(text.size() - last.size(), text.rfind(last)) << p.what;
    }
}

// The two forms differ in line 1 only; every other platform id is the NT
// family.
TEST(ScriptText, PlatformFormsDifferInTheFirstLineOnly)
{
    const Paths &p = kPaths[0];
    std::string win9x = Full(p, 1), nt = Full(p, 2);
    std::string line1 = std::string("\"") + p.program + "\" /wait\r\n";
    ASSERT_EQ(0u, nt.find(line1));
    EXPECT_EQ("start /wait " + nt, win9x);
    for (int other : {0, 3, -1, 0x7FFFFFFF})
        EXPECT_EQ(nt, Full(p, other)) << other;
    EXPECT_EQ(19 - 1, (int)std::count(nt.begin(), nt.end(), '\n'));
    EXPECT_EQ(nt.size() - 1, nt.rfind('"'));  // the last line has no line end
}

// The longest paths the system reports, all '%', still fit the program's
// script buffer.
TEST(ScriptText, LongestPathsFitTheProgramsBuffer)
{
    std::string longest(259, '%');
    ExactBuffer buffer(SCRIPT_TEXT_SIZE);
    size_t n = ComposeCleanupScript(buffer.get(), buffer.size, 1, longest.c_str(), longest.c_str(),
                                    longest.c_str());
    EXPECT_LT(19u * 2 * longest.size(), n);
    EXPECT_EQ(n, buffer.Text().size());
}

} // namespace

namespace {

// The interpreter's command line on each platform family, in buffers of
// every size around its length: whole, or false and empty.
TEST(InterpreterCommand, EachFamilyItsFormNeverCut)
{
    const struct { int platformId; const char *interpreter, *script, *command; } cases[] = {
        {2, "C:\\WINDOWS\\system32\\cmd.exe", "C:\\Users\\John (Work)\\Temp\\Uninstall.Mvx.Bat",
         "\"C:\\WINDOWS\\system32\\cmd.exe\" /d /v:off /s /c \"\"C:\\Users\\John (Work)\\Temp\\Uninstall.Mvx.Bat\"\""},
        {2, "C:\\Program Files\\cmd.exe", "C:\\a&b!x!\\p^q\\x.bat",
         "\"C:\\Program Files\\cmd.exe\" /d /v:off /s /c \"\"C:\\a&b!x!\\p^q\\x.bat\"\""},
        {0, "cmd.exe", "x.bat", "\"cmd.exe\" /d /v:off /s /c \"\"x.bat\"\""},
        {1, "C:\\WINDOWS\\COMMAND.COM", "C:\\WINDOWS\\TEMP\\Uninstall.Mvx.Bat",
         "C:\\WINDOWS\\COMMAND.COM /c \"C:\\WINDOWS\\TEMP\\Uninstall.Mvx.Bat\""},
    };
    for (const auto &c : cases) {
        std::string expected = c.command;
        for (size_t size = 0; size <= expected.size() + 2; size++) {
            // Size 0 gets one byte, which must stay as it was.
            ExactBuffer buffer(size ? size : 1);
            bool fits = ComposeInterpreterCommand(buffer.get(), size, c.platformId, c.interpreter, c.script);
            if (size == 0) {
                EXPECT_FALSE(fits);
                EXPECT_EQ('#', buffer.get()[0]) << c.command;
                continue;
            }
            ASSERT_TRUE(buffer.Terminated()) << c.command << ", size " << size;
            EXPECT_EQ(size > expected.size(), fits) << c.command << ", size " << size;
            EXPECT_EQ(fits ? expected : "", buffer.Text()) << c.command << ", size " << size;
        }
    }
}

// Whether a path can be written for the interpreter as it is, or through
// an exact conversion: the wide form of each ANSI path and what its OEM
// form reads back as, as the system gives them.
TEST(OemConversion, AsciiEqualCodePagesAndExactRoundTripsOnly)
{
    const struct {
        const char *what, *path;
        unsigned ansi, oem;
        const wchar_t *wide, *readBack;
        bool convert, exact;
    } cases[] = {
        {"ASCII", "C:\\Program Files\\Melvox", 1252, 437, nullptr, nullptr, false, true},
        {"ASCII with UTF-8 as ANSI", "C:\\Melvox", 65001, 437, nullptr, nullptr, false, true},
        {"equal code pages", "C:\\J\xF6rg", 1252, 1252, nullptr, nullptr, false, true},
        {"UTF-8 for both", "C:\\J\xC3\xB6rg\\\xD0\x9C", 65001, 65001, nullptr, nullptr, false, true},
        {"exact", "C:\\J\xF6rg", 1252, 437, L"C:\\J\u00F6rg", L"C:\\J\u00F6rg", true, true},
        {"exact to UTF-8", "C:\\\xD8", 1252, 65001, L"C:\\\u00D8", L"C:\\\u00D8", true, true},
        {"best fit", "C:\\Melv\xD8x", 1252, 437, L"C:\\Melv\u00D8x", L"C:\\MelvOx", true, false},
        {"default character", "C:\\\x80", 1252, 437, L"C:\\\u20AC", L"C:\\?", true, false},
        {"read back shorter", "C:\\\xF6", 1252, 850, L"C:\\\u00F6", L"C:\\", true, false},
        {"read back longer", "C:\\\xF6", 1252, 850, L"C:\\\u00F6", L"C:\\\u00F6x", true, false},
        {"high code at the end", "C:\\x\xFF", 1252, 437, L"C:\\x\u00FF", L"C:\\x\u00FF", true, true},
        {"high code first", "\xF6x", 1252, 437, L"\u00F6x", L"\u00F6x", true, true},
        {"double-byte, OEM the same", "C:\\Melvox \x95\x5C", 932, 932, nullptr, nullptr, false, true},
    };
    for (const auto &c : cases) {
        bool convert = NeedsOemConversion(c.path, c.ansi, c.oem);
        EXPECT_EQ(c.convert, convert) << c.what;
        if (convert)
            EXPECT_EQ(c.exact, IsExactConversion(c.wide, c.readBack)) << c.what;
    }
}

} // namespace
