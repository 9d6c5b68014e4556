// The resource set of the built uninstall.exe, read back from the file:
// icon groups, strings and both dialog templates, control by control.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resource.h"
#include "testsupport.h"

using namespace testsupport;

namespace {

class ResourcesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = LoadLibraryExA(ProgramExe().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_TRUE(module != NULL);
    }
    void TearDown() override { FreeLibrary(module); }

    const unsigned char *Resource(const char *name, const char *type, DWORD *size = NULL)
    {
        HRSRC found = FindResourceA(module, name, type);
        if (!found)
            return NULL;
        if (size)
            *size = SizeofResource(module, found);
        return static_cast<const unsigned char *>(LockResource(LoadResource(module, found)));
    }
    HMODULE module = NULL;
};

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR param)
{
    auto *names = reinterpret_cast<std::vector<std::string> *>(param);
    names->push_back(IS_INTRESOURCE(name) ? "#" + std::to_string((UINT_PTR)name) : name);
    return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param)
{
    reinterpret_cast<std::vector<WORD> *>(param)->push_back(language);
    return TRUE;
}

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width, height, colors, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST_F(ResourcesTest, IconGroupsHoldThreeImagesOfTwentyFourBitsInOrder)
{
    std::vector<std::string> names;
    EnumResourceNamesA(module, (LPCSTR)RT_GROUP_ICON, CollectName, (LONG_PTR)&names);
    ASSERT_EQ(std::vector<std::string>({"DELICON", "MVXICON"}), names) << "DELICON must come first";

    for (const std::string &group : names) {
        const unsigned char *data = Resource(group.c_str(), (LPCSTR)RT_GROUP_ICON);
        ASSERT_TRUE(data != NULL);
        WORD count = *reinterpret_cast<const WORD *>(data + 4);
        ASSERT_EQ(3, count) << group;
        const GroupEntry *entries = reinterpret_cast<const GroupEntry *>(data + 6);
        const int sizes[] = {32, 16, 48};
        for (int i = 0; i < 3; i++) {
            EXPECT_EQ(sizes[i], entries[i].width) << group << " image " << i;
            EXPECT_EQ(sizes[i], entries[i].height) << group << " image " << i;
            EXPECT_EQ(24, entries[i].bitCount) << group << " image " << i;
            const BITMAPINFOHEADER *image = reinterpret_cast<const BITMAPINFOHEADER *>(
                Resource(MAKEINTRESOURCEA(entries[i].id), (LPCSTR)RT_ICON));
            ASSERT_TRUE(image != NULL);
            EXPECT_EQ(24, image->biBitCount) << group << " image " << i;
            EXPECT_EQ(sizes[i], image->biWidth) << group << " image " << i;
        }
    }
}

TEST_F(ResourcesTest, EveryResourceCarriesTheNeutralLanguage)
{
    const struct {
        LPCSTR type;
        LPCSTR name;
    } resources[] = {
        {(LPCSTR)RT_GROUP_ICON, "DELICON"}, {(LPCSTR)RT_GROUP_ICON, "MVXICON"},
        {(LPCSTR)RT_DIALOG, "SETUPDLG"},    {(LPCSTR)RT_DIALOG, "DONEDLG"},
        {(LPCSTR)RT_STRING, MAKEINTRESOURCEA(5101 / 16 + 1)},
    };
    for (const auto &r : resources) {
        std::vector<WORD> languages;
        EnumResourceLanguagesA(module, r.type, r.name, CollectLanguage, (LONG_PTR)&languages);
        EXPECT_EQ(std::vector<WORD>({0}), languages);
    }
}

TEST_F(ResourcesTest, StringTableHoldsEveryText)
{
    const char *texts[] = {
        "Melvox archiver", "Melvox help", "Console MVX manual", "Uninstall Melvox",
        "Uninstall completed", "You should delete %s manually",
        "Continue with uninstall Melvox", "Cannot open list file %s", "Melvox Setup",
        "Setup or uninstall of Melvox is already running.\nPlease wait until it has ended.",
        "Melvox is still running: %s\nClose it, then press Retry. Press Cancel to stop the uninstall; "
        "nothing has been removed.",
        "Some files are still in use, among them %s\nThey will be removed when Windows restarts.",
        "Some files are still in use, among them %s\nPlease delete them by hand once they are no longer in use.",
        "Melvox cannot be set up or removed from the folder %s\nIts name uses characters outside the "
        "system's code page. Please use a folder whose name has none of them.",
        "Some entries of Uninstall.lst could not be removed:\n%s\nPlease delete them by hand.",
        "line %s of Uninstall.lst",
    };
    static_assert(sizeof texts / sizeof texts[0] == IDS_LAST_TEXT - IDS_DISPLAYNAME + 1, "one per id");
    for (UINT i = 0; i < sizeof texts / sizeof texts[0]; i++) {
        char text[256] = "";
        LoadStringA(module, 5101 + i, text, sizeof text);
        EXPECT_STREQ(texts[i], text) << "id " << 5101 + i;
    }
    char text[256] = "x";
    EXPECT_EQ(0, LoadStringA(module, IDS_LAST_TEXT + 1, text, sizeof text));
}

// One control of a classic dialog template, as the template stores it.
struct Control {
    int id;
    WORD atom;           // 0x80 button, 0x82 static
    DWORD style;         // without WS_CHILD | WS_VISIBLE
    std::string text;
    short x, y, cx, cy;
    bool operator==(const Control &o) const
    {
        return id == o.id && atom == o.atom && style == o.style && text == o.text &&
               x == o.x && y == o.y && cx == o.cx && cy == o.cy;
    }
};

std::ostream &operator<<(std::ostream &out, const Control &c)
{
    return out << "{id " << c.id << ", atom 0x" << std::hex << c.atom << ", style 0x" << c.style
               << std::dec << ", \"" << c.text << "\", " << c.x << "," << c.y << "," << c.cx
               << "," << c.cy << "}";
}

std::string ReadWide(const WORD **at)
{
    std::string text;
    for (; **at; (*at)++)
        text.push_back((char)**at);
    (*at)++;
    return text;
}

struct Dialog {
    DWORD style;
    short x, y, cx, cy;
    std::string caption, font;
    WORD pointSize;
    std::vector<Control> controls;
};

bool ParseDialog(const unsigned char *data, Dialog *dialog)
{
    const DLGTEMPLATE *t = reinterpret_cast<const DLGTEMPLATE *>(data);
    if (*reinterpret_cast<const WORD *>(data + 2) == 0xFFFF)
        return false; // an extended template
    dialog->style = t->style;
    dialog->x = t->x, dialog->y = t->y, dialog->cx = t->cx, dialog->cy = t->cy;
    const WORD *at = reinterpret_cast<const WORD *>(t + 1);
    if (*at++ != 0 || *at++ != 0) // no menu, no class
        return false;
    dialog->caption = ReadWide(&at);
    dialog->pointSize = *at++;
    dialog->font = ReadWide(&at);
    for (int i = 0; i < t->cdit; i++) {
        at = reinterpret_cast<const WORD *>(((UINT_PTR)at + 3) & ~(UINT_PTR)3);
        const DLGITEMTEMPLATE *item = reinterpret_cast<const DLGITEMTEMPLATE *>(at);
        Control c;
        c.style = item->style & ~(WS_CHILD | WS_VISIBLE);
        if ((item->style & (WS_CHILD | WS_VISIBLE)) != (WS_CHILD | WS_VISIBLE))
            return false;
        c.x = item->x, c.y = item->y, c.cx = item->cx, c.cy = item->cy;
        c.id = (short)item->id;
        at = reinterpret_cast<const WORD *>(item + 1);
        if (*at != 0xFFFF)
            return false;
        c.atom = at[1];
        at += 2;
        c.text = ReadWide(&at);
        at += 1 + *at / 2; // creation data
        dialog->controls.push_back(c);
    }
    return true;
}

const DWORD FRAME = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
const WORD BUTTON = 0x80, STATIC = 0x82;
const DWORD PUSH = BS_PUSHBUTTON | WS_TABSTOP, CHECK = BS_AUTOCHECKBOX | WS_TABSTOP;
const DWORD TEXT = SS_LEFT | WS_GROUP;

TEST_F(ResourcesTest, SetupDialogTemplate)
{
    Dialog d;
    ASSERT_TRUE(ParseDialog(Resource("SETUPDLG", (LPCSTR)RT_DIALOG), &d));
    EXPECT_EQ(FRAME, d.style);
    EXPECT_EQ("Melvox Setup", d.caption);
    EXPECT_EQ("MS Sans Serif", d.font);
    EXPECT_EQ(8, d.pointSize);
    EXPECT_EQ(53, d.x); EXPECT_EQ(46, d.y); EXPECT_EQ(331, d.cx); EXPECT_EQ(214, d.cy);
    const std::string textA =
        "   The settings above show, for which archive formats Melvox will be used as default "
        "processing program.\n\n    It is good idea to leave these options selected, because it "
        "will allow you to open archives in Melvox simply pressing Enter on archive name or icon "
        "in Explorer or Desktop.";
    const std::string textB =
        "   First three items allow to select places to put links to the installed Melvox. You may "
        "set them according with your habits.\n\n   Fourth item controls integration of Melvox "
        "into Windows shell. Shell integration provides useful facilities like  \"Extract\" item "
        "in archive properties menu, so usually there is no reason to disable it.";
    const std::vector<Control> expected = {
        {IDOK, BUTTON, PUSH, "OK", 140, 195, 50, 14},
        {-1, BUTTON, BS_GROUPBOX, "Associate Melvox with", 7, 10, 156, 179},
        {5101, BUTTON, CHECK, "&MVX archives", 16, 25, 127, 12},
        {5102, BUTTON, CHECK, "&ZIP archives", 16, 37, 127, 12},
        {5103, BUTTON, CHECK, "&CAB archives", 16, 49, 127, 12},
        {5104, BUTTON, CHECK, "&ARJ archives", 16, 61, 127, 12},
        {5105, BUTTON, CHECK, "&LZH archives", 16, 73, 127, 12},
        {-1, BUTTON, BS_GROUPBOX, "Interface", 168, 10, 156, 179},
        {-1, STATIC, TEXT, textA, 13, 100, 144, 84},
        {5106, BUTTON, CHECK, "Put Melvox to &Desktop", 176, 24, 127, 12},
        {5107, BUTTON, CHECK, "Put Melvox to &Start Menu", 176, 36, 127, 12},
        {5108, BUTTON, CHECK, "Create Melvox &program group", 176, 48, 127, 12},
        {5109, BUTTON, CHECK, "&Integrate Melvox into shell", 176, 73, 127, 12},
        {-1, STATIC, SS_ETCHEDHORZ, "", 169, 66, 156, 1},
        {-1, STATIC, SS_ETCHEDHORZ, "", 9, 92, 155, 1},
        {-1, STATIC, TEXT, textB, 173, 100, 146, 84},
        {-1, STATIC, SS_ETCHEDHORZ, "", 169, 92, 156, 1},
    };
    ASSERT_EQ(expected.size(), d.controls.size());
    for (size_t i = 0; i < expected.size(); i++)
        EXPECT_EQ(expected[i], d.controls[i]) << "control " << i + 1;
}

TEST_F(ResourcesTest, CompletionDialogTemplate)
{
    Dialog d;
    ASSERT_TRUE(ParseDialog(Resource("DONEDLG", (LPCSTR)RT_DIALOG), &d));
    EXPECT_EQ(FRAME, d.style);
    EXPECT_EQ("Melvox Setup", d.caption);
    EXPECT_EQ("MS Sans Serif", d.font);
    EXPECT_EQ(8, d.pointSize);
    EXPECT_EQ(53, d.x); EXPECT_EQ(46, d.y); EXPECT_EQ(331, d.cx); EXPECT_EQ(214, d.cy);
    const std::vector<Control> expected = {
        {IDOK, BUTTON, PUSH, "Done", 140, 195, 50, 14},
        {-1, STATIC, TEXT, "Melvox has been successfully installed to the folder", 17, 14, 146, 8},
        {5101, STATIC, TEXT, "", 164, 14, 150, 8},
        {-1, STATIC, TEXT,
         "Use \"Settings...\" command from the Melvox \"Options\" menu for further customization.",
         17, 33, 297, 8},
        {-1, STATIC, TEXT,
         "If you installed Melvox for the first time, do not forget to read online help.", 17, 53,
         297, 8},
        {-1, STATIC, TEXT, "", 17, 74, 297, 22},
        {-1, STATIC, TEXT,
         "If you are not sure if you have the latest Melvox version, please visit the Melvox "
         "homepage.\rYou may also register Melvox with our secure transaction server, directly "
         "from that page.",
         17, 101, 297, 16},
        {-1, BUTTON, BS_GROUPBOX, "", 8, 2, 314, 125},
        {5102, BUTTON, PUSH, "&Run Melvox", 11, 131, 60, 14},
        {5103, BUTTON, PUSH, "Read &help", 74, 131, 60, 14},
        {5104, BUTTON, PUSH, "View &license", 136, 131, 60, 14},
        {5105, BUTTON, PUSH, "&Price list", 198, 131, 60, 14},
        {5106, BUTTON, PUSH, "Ho&me page", 259, 131, 60, 14},
        {-1, BUTTON, BS_GROUPBOX, "", 8, 145, 314, 45},
        {5107, STATIC, SS_CENTER | WS_GROUP, "Thank you for using Melvox !", 17, 163, 297, 8},
    };
    ASSERT_EQ(expected.size(), d.controls.size());
    for (size_t i = 0; i < expected.size(); i++)
        EXPECT_EQ(expected[i], d.controls[i]) << "control " << i + 1;
}

} // namespace
