// The cleanup script's text, natively under the sanitizers: every buffer
// size around the text's length, in buffers of exactly that size, and the
// paths that a batch file would read wrongly.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "exact_buffer.h"
#include "uninstall/script_text.h"

namespace {

struct Paths { const char *what, *program, *folder, *script; };

const Paths kPaths[] = {
    {"plain", "C:\\Tools\\Melvox\\uninstall.exe", "C:\\Tools\\Melvox",
     "C:\\users\\me\\Temp\\Uninstall.Mvx.Bat"},
    {"drive root", "C:\\uninstall.exe", "C:\\", "C:\\WINDOWS\\TEMP\\Uninstall.Mvx.Bat"},
    {"percent", "C:\\Melvox 100%\\uninstall.exe", "C:\\Melvox 100%", "C:\\%TEMP%\\Uninstall.Mvx.Bat"},
    {"only percent", "%", "%%", "%%%"},
    // Converted to the OEM code page before they get here; the composer
    // copies high codes unchanged.
    {"high codes", "C:\\J\x94rg\\uninstall.exe", "C:\\J\x94rg", "C:\\\xE9\\Uninstall.Mvx.Bat"},
    {"empty", "", "", ""},
};

std::string Full(const Paths &p, int platformId)
{
    ExactBuffer buffer(SCRIPT_TEXT_SIZE);
    size_t n = ComposeCleanupScript(buffer.get(), buffer.size, platformId, p.program, p.folder, p.script);
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
                ExactBuffer buffer(size);
                size_t n = ComposeCleanupScript(buffer.get(), size, platformId, p.program, p.folder, p.script);
                if (size == 0) {
                    EXPECT_EQ(0u, n);
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
// '%' comes doubled, however many there are in a row.
TEST(ScriptText, PercentOfEveryPathIsDoubled)
{
    for (const Paths &p : kPaths) {
        std::string text = Full(p, 2);
        std::string program = p.program, folder = p.folder, script = p.script;
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
        size_t percents = 13 * count(program, "%") + 5 * count(folder, "%") + count(script, "%");
        EXPECT_EQ(2 * percents, count(text, "%")) << p.what;
        if (!program.empty())
            EXPECT_NE(std::string::npos, text.find("del \"" + doubled(program) + "\"\r\n")) << p.what;
        EXPECT_NE(std::string::npos, text.find("rd \"" + doubled(folder) + "\"\r\n")) << p.what;
        EXPECT_EQ(text.size() - (script.size() + count(script, "%") + 6), text.rfind("del \"" + doubled(script) + "\""))
            << p.what;
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
