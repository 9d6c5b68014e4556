// The sample language modules (samples/lang-de, samples/lang-ja) against
// the program: each carries every text as written here and its dialogs
// match the program's own in every id and layout; with the German one
// beside uninstall.exe, setup and the uninstall speak German.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "resource.h"
#include "testsupport.h"

using namespace testsupport;

namespace {

const char kSetupCaption[] = "Melvox-Einrichtung";
const char kBoxCaption[] = "Melvox deinstallieren";

std::string GermanModule()
{
    return BuiltFile("samples/lang-de/mvxlng.dll");
}

// What each sample module must carry, written out here apart from its
// resource script: a text that the resource compiler garbles (a trail
// byte 0x5C read as the start of an escape, a script saved in another
// code page than its pragma names) differs from these.
struct SampleModule {
    const char *file;
    UINT codePage; // the ANSI code page of the systems it is made for
    const wchar_t *texts[IDS_LAST_TEXT - IDS_DISPLAYNAME + 1]; // 5101..5116
    const wchar_t *caption;                                   // of both dialogs
    const wchar_t *face;
    WORD points;
};

const SampleModule kSamples[] = {
    {"samples/lang-de/mvxlng.dll", 1252,
     {L"Melvox Archivprogramm",
      L"Melvox-Hilfe",
      L"MVX-Konsolenhandbuch",
      L"Melvox deinstallieren",
      L"Deinstallation abgeschlossen",
      L"Bitte löschen Sie %s von Hand",
      L"Mit der Deinstallation von Melvox fortfahren?",
      L"Die Listendatei %s kann nicht geöffnet werden",
      L"Melvox-Einrichtung",
      L"Die Einrichtung oder Deinstallation von Melvox läuft bereits.\n"
      L"Bitte warten Sie, bis sie beendet ist.",
      L"Melvox läuft noch: %s\nBeenden Sie das Programm und klicken Sie dann auf Wiederholen. "
      L"Mit Abbrechen beenden Sie die Deinstallation; es wurde nichts entfernt.",
      L"Einige Dateien werden noch verwendet, darunter %s\n"
      L"Sie werden beim nächsten Neustart von Windows entfernt.",
      L"Einige Dateien werden noch verwendet, darunter %s\n"
      L"Bitte löschen Sie sie von Hand, sobald sie nicht mehr verwendet werden.",
      L"Melvox kann im Ordner %s nicht eingerichtet oder entfernt werden.\n"
      L"Sein Name enthält Zeichen außerhalb der Codepage des Systems. "
      L"Bitte wählen Sie einen Ordner ohne solche Zeichen.",
      L"Einige Einträge von Uninstall.lst konnten nicht entfernt werden:\n%s\nBitte löschen Sie sie von Hand.",
      L"Zeile %s von Uninstall.lst"},
     L"Melvox-Einrichtung", L"MS Sans Serif", 8},
    {"samples/lang-ja/mvxlng.dll", 932,
     {L"Melvox アーカイバー",
      L"Melvox ヘルプ",
      L"コンソール版 MVX マニュアル", // its ソ is 83 5C in code page 932
      L"Melvox のアンインストール",
      L"アンインストールが完了しました",
      L"%s を手動で削除してください",
      L"Melvox のアンインストールを続行しますか?",
      L"リスト ファイル %s を開けません",
      L"Melvox セットアップ",
      L"Melvox のセットアップまたはアンインストールが既に実行中です。\n"
      L"終了するまでお待ちください。",
      L"Melvox はまだ実行中です: %s\nMelvox を終了してから [再試行] を押してください。"
      L"[キャンセル] を押すとアンインストールを中止します。何も削除されていません。",
      L"使用中のファイルが残っています (%s など)。\n"
      L"これらのファイルは Windows の再起動時に削除されます。",
      L"使用中のファイルが残っています (%s など)。\n"
      L"使用されなくなったら、これらのファイルを手動で削除してください。",
      L"フォルダー %s では Melvox をセットアップまたは削除できません。\n"
      L"フォルダー名にシステムのコード ページにない文字が含まれています。"
      L"そのような文字を含まないフォルダーを使ってください。",
      L"Uninstall.lst の次の項目を削除できませんでした:\n%s\nこれらを手動で削除してください。",
      L"Uninstall.lst の %s 行目"},
     L"Melvox セットアップ", L"MS UI Gothic", 9},
};

// A folder (with a blank in its path) holding uninstall.exe and the module.
std::string MakeInstallFolder(const char *tag)
{
    std::string folder = MakeTempFolder(tag);
    EXPECT_TRUE(CopyFileTo(ProgramExe(), Join(folder, "uninstall.exe")));
    EXPECT_TRUE(CopyFileTo(GermanModule(), Join(folder, "mvxlng.dll")));
    return folder;
}

struct Module {
    HMODULE handle;
    explicit Module(const std::string &path)
        : handle(LoadLibraryExA(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~Module() { if (handle) FreeLibrary(handle); }
};

std::string LoadString(HMODULE module, UINT id)
{
    char text[512] = "";
    LoadStringA(module, id, text, sizeof text);
    return text;
}

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

// Every control of a dialog template, in template order, as the dialog
// manager created it: id, class, style and position in dialog units.
struct Control {
    int id;
    std::string cls;
    DWORD style;
    RECT rect;
    std::string text;
};

std::vector<Control> DialogControls(HMODULE module, const char *name, std::string *caption)
{
    std::vector<Control> controls;
    HWND dialog = CreateDialogParamA(module, name, NULL, QuietProc, 0);
    if (!dialog)
        return controls;
    char text[1024];
    GetWindowTextA(dialog, text, sizeof text);
    *caption = text;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        Control c;
        c.id = (short)GetDlgCtrlID(child);
        char cls[64] = "";
        GetClassNameA(child, cls, sizeof cls);
        c.cls = cls;
        c.style = (DWORD)GetWindowLongA(child, GWL_STYLE) & ~WS_VISIBLE;
        GetWindowRect(child, &c.rect);
        MapWindowPoints(NULL, dialog, reinterpret_cast<POINT *>(&c.rect), 2);
        GetWindowTextA(child, text, sizeof text);
        c.text = text;
        controls.push_back(c);
    }
    DestroyWindow(dialog);
    return controls;
}

// A dialog as its template (DIALOG, not DIALOGEX) in the module has it:
// positions in dialog units, so that modules with different fonts compare,
// and texts as the UTF-16 the resource compiler made of them.
struct TemplateItem {
    int id;
    std::wstring cls; // "button", "static", ... (atoms and names alike)
    DWORD style;
    short x, y, cx, cy;
    std::wstring text;
};

struct DialogTemplate {
    bool found = false;
    std::wstring caption, face;
    WORD points = 0;
    std::vector<TemplateItem> items;
};

// A name or ordinal field: 0, 0xFFFF and a 16-bit ordinal, or a string.
std::wstring ReadField(const WORD *&at)
{
    if (*at == 0xFFFF) {
        WORD atom = at[1];
        at += 2;
        switch (atom) {
        case 0x80: return L"button";
        case 0x81: return L"edit";
        case 0x82: return L"static";
        default: return L"#" + std::to_wstring(atom);
        }
    }
    std::wstring text(reinterpret_cast<const wchar_t *>(at));
    at += text.size() + 1;
    return text;
}

std::wstring Lower(std::wstring text)
{
    for (wchar_t &c : text)
        c = (wchar_t)towlower(c);
    return text;
}

DialogTemplate ReadDialog(HMODULE module, const char *name)
{
    DialogTemplate dialog;
    HRSRC found = FindResourceA(module, name, MAKEINTRESOURCEA(5)); // RT_DIALOG
    HGLOBAL loaded = found ? LoadResource(module, found) : NULL;
    const DLGTEMPLATE *head = loaded ? static_cast<const DLGTEMPLATE *>(LockResource(loaded)) : NULL;
    if (!head || HIWORD(head->style) == 0xFFFF) // DIALOGEX has its own layout
        return dialog;
    const WORD *at = reinterpret_cast<const WORD *>(head + 1);
    ReadField(at); // menu
    ReadField(at); // class
    dialog.caption = ReadField(at);
    if (head->style & DS_SETFONT) {
        dialog.points = *at++;
        dialog.face = ReadField(at);
    }
    for (int i = 0; i < head->cdit; i++) {
        at = reinterpret_cast<const WORD *>((reinterpret_cast<UINT_PTR>(at) + 3) & ~UINT_PTR(3));
        const DLGITEMTEMPLATE *item = reinterpret_cast<const DLGITEMTEMPLATE *>(at);
        at = reinterpret_cast<const WORD *>(item + 1);
        TemplateItem t;
        t.id = (short)item->id;
        t.style = item->style & ~WS_VISIBLE;
        t.x = item->x, t.y = item->y, t.cx = item->cx, t.cy = item->cy;
        t.cls = Lower(ReadField(at));
        t.text = ReadField(at);
        at += 1 + *at / sizeof(WORD); // creation data: its size in bytes, then the data
        dialog.items.push_back(t);
    }
    dialog.found = true;
    return dialog;
}

// The Completion dialog is the one with the bold closing line but without
// the Setup dialog's shell-integration box (both share the caption).
struct DoneSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindDone(HWND window, LPARAM param)
{
    DoneSearch *search = reinterpret_cast<DoneSearch *>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && IsWindowVisible(window) && GetDlgItem(window, IDC_THANKS) &&
        !GetDlgItem(window, IDC_SHELLEXT)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForDone(DWORD pid)
{
    for (int i = 0; i < (int)Patience(300); i++) {
        DoneSearch search = {pid, NULL};
        EnumWindows(FindDone, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        Sleep(50);
    }
    return NULL;
}

// Done opens the program group; under Wine in a new explorer.exe whose
// current directory is the install folder and which holds the test's
// output open. Close its window, as a user would, so that it ends.
struct FolderSearch {
    DWORD skipPid;
    HWND found;
};

BOOL CALLBACK FindFolderWindow(HWND window, LPARAM param)
{
    FolderSearch *search = reinterpret_cast<FolderSearch *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (owner != search->skipPid && owner != GetCurrentProcessId() && IsWindowVisible(window) &&
        std::string(cls) != "#32770" && WindowText(window) == "Melvox") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

bool CloseFolderWindow(DWORD setupPid)
{
    for (int i = 0; i < (int)Patience(100); i++) {
        FolderSearch search = {setupPid, NULL};
        EnumWindows(FindFolderWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            DWORD pid = 0;
            GetWindowThreadProcessId(search.found, &pid);
            HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
            PostMessageA(search.found, WM_CLOSE, 0, 0);
            if (process) {
                WaitForSingleObject(process, Patience(10000));
                CloseHandle(process);
            }
            return true;
        }
        Sleep(100);
    }
    return false;
}

std::string ProgramsFolder()
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(NULL, CSIDL_PROGRAMS, NULL, 0, path);
    return path;
}

class LanguageModule : public ::testing::Test {
protected:
    void SetUp() override { RemoveAllMelvoxKeys(); }
    void TearDown() override
    {
        RemoveAllMelvoxKeys();
        RemoveTree(Join(ProgramsFolder(), "Melvox"));
        if (!folder.empty())
            RemoveTree(folder);
    }
    std::string folder;
};

TEST_F(LanguageModule, CarriesEveryTextWithTheProgramsPlaceholders)
{
    Module own(ProgramExe());
    ASSERT_TRUE(own.handle);
    for (const SampleModule &sample : kSamples) {
        SCOPED_TRACE(sample.file);
        Module module(BuiltFile(sample.file));
        ASSERT_TRUE(module.handle);
        for (UINT id = IDS_DISPLAYNAME; id <= IDS_LAST_TEXT; id++) {
            SCOPED_TRACE(id);
            wchar_t wide[512] = L"", ownText[512] = L"";
            LoadStringW(module.handle, id, wide, 512);
            LoadStringW(own.handle, id, ownText, 512);
            const std::wstring text = wide;
            EXPECT_EQ(text, sample.texts[id - IDS_DISPLAYNAME]);
            EXPECT_NE(text, ownText) << "not translated";
            // What the program gets through LoadStringA on a system of the
            // module's code page: every character there, within 255 bytes.
            BOOL lost = FALSE;
            int bytes = WideCharToMultiByte(sample.codePage, WC_NO_BEST_FIT_CHARS, wide, -1, NULL, 0,
                                            NULL, &lost);
            EXPECT_FALSE(lost) << "a character outside code page " << sample.codePage;
            EXPECT_LE(bytes - 1, 255);
            size_t percent = 0;
            for (wchar_t c : text)
                percent += c == L'%';
            bool formats = id == IDS_DELETEMANUALLY || id == IDS_NOLIST ||
                           (id >= IDS_PROGRAMRUNNING && id <= IDS_LISTLINE);
            EXPECT_EQ(percent, formats ? 1u : 0u);
            if (formats)
                EXPECT_NE(text.find(L"%s"), std::wstring::npos);
        }
        EXPECT_TRUE(LoadImageA(module.handle, "MVXICON", IMAGE_ICON, 32, 32, 0));
        EXPECT_TRUE(LoadImageA(module.handle, "DELICON", IMAGE_ICON, 32, 32, 0));
    }
    // The umlauts arrive in the ANSI code page, not as UTF-8 bytes.
    Module german(GermanModule());
    EXPECT_EQ(LoadString(german.handle, IDS_DELETEMANUALLY), "Bitte l\xF6schen Sie %s von Hand");
}

TEST_F(LanguageModule, DialogsKeepEveryControlOfTheProgramsOwn)
{
    Module own(ProgramExe());
    for (const SampleModule &sample : kSamples) {
        Module module(BuiltFile(sample.file));
        ASSERT_TRUE(module.handle);
        for (const char *name : {"SETUPDLG", "DONEDLG"}) {
            SCOPED_TRACE(std::string(sample.file) + " " + name);
            DialogTemplate expected = ReadDialog(own.handle, name);
            DialogTemplate actual = ReadDialog(module.handle, name);
            ASSERT_TRUE(expected.found);
            ASSERT_TRUE(actual.found);
            ASSERT_EQ(actual.items.size(), expected.items.size());
            EXPECT_EQ(actual.caption, sample.caption);
            EXPECT_EQ(actual.face, sample.face);
            EXPECT_EQ(actual.points, sample.points);
            size_t translated = 0;
            for (size_t i = 0; i < expected.items.size(); i++) {
                SCOPED_TRACE(i);
                const TemplateItem &want = expected.items[i], &got = actual.items[i];
                EXPECT_EQ(got.id, want.id);
                EXPECT_EQ(got.cls, want.cls);
                EXPECT_EQ(got.style, want.style);
                EXPECT_EQ(got.x, want.x);
                EXPECT_EQ(got.y, want.y);
                EXPECT_EQ(got.cx, want.cx);
                EXPECT_EQ(got.cy, want.cy);
                translated += got.text != want.text;
                // Access keys survive translation of the controls that had one.
                if (want.text.find(L'&') != std::wstring::npos)
                    EXPECT_NE(got.text.find(L'&'), std::wstring::npos);
            }
            EXPECT_GE(translated, expected.items.size() / 2);

            // The dialog manager makes the same controls of it.
            std::string ownCaption, caption;
            std::vector<Control> ownControls = DialogControls(own.handle, name, &ownCaption);
            std::vector<Control> controls = DialogControls(module.handle, name, &caption);
            ASSERT_EQ(controls.size(), ownControls.size());
            for (size_t i = 0; i < controls.size(); i++) {
                EXPECT_EQ(controls[i].id, ownControls[i].id);
                EXPECT_EQ(controls[i].cls, ownControls[i].cls);
                EXPECT_EQ(controls[i].style, ownControls[i].style);
                // In the program's own font, the same pixels too.
                if (actual.face == expected.face && actual.points == expected.points)
                    EXPECT_TRUE(EqualRect(&controls[i].rect, &ownControls[i].rect));
            }
        }
    }
}

TEST_F(LanguageModule, SetupShowsGermanDialogsAndNamesTheLinksInGerman)
{
    folder = MakeInstallFolder("lang setup");
    Process setup;
    ASSERT_TRUE(setup.Start("\"" + Join(folder, "uninstall.exe") + "\" /setup", folder));
    HWND dialog = WaitForDialog(kSetupCaption, setup.pid);
    ASSERT_TRUE(dialog) << "no Setup dialog with the German caption";
    EXPECT_EQ(ControlText(dialog, IDC_PROGRAMS), "Melvox-&Programmgruppe anlegen");
    EXPECT_TRUE(IsChecked(dialog, IDC_PROGRAMS));
    Press(dialog, IDOK);

    HWND done = WaitForDone(setup.pid);
    ASSERT_TRUE(done);
    EXPECT_EQ(WindowText(done), kSetupCaption);
    EXPECT_EQ(ControlText(done, IDOK), "Fertig");
    EXPECT_EQ(ControlText(done, IDC_FOLDER), folder);

    std::string group = Join(ProgramsFolder(), "Melvox");
    EXPECT_TRUE(FileExists(Join(group, "Melvox-Hilfe.lnk")));
    EXPECT_TRUE(FileExists(Join(group, "MVX-Konsolenhandbuch.lnk")));
    EXPECT_TRUE(FileExists(Join(group, "Melvox.lnk")));
    EXPECT_FALSE(FileExists(Join(group, "Melvox help.lnk")));
    std::string name;
    EXPECT_TRUE(RegReadString(HKEY_LOCAL_MACHINE,
                              "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Melvox archiver",
                              "DisplayName", &name));
    EXPECT_EQ(name, "Melvox Archivprogramm");

    Press(done, IDOK);
    EXPECT_EQ(setup.Wait(15000), 0u);
    EXPECT_TRUE(CloseFolderWindow(setup.pid)) << "Done opened no program group window";
}

TEST_F(LanguageModule, UninstallAsksInGermanAndNoChangesNothing)
{
    folder = MakeInstallFolder("lang uninstall");
    ASSERT_TRUE(WriteFileText(Join(folder, "Uninstall.lst"), "keep.txt\n"));
    ASSERT_TRUE(WriteFileText(Join(folder, "keep.txt"), "x"));
    Process uninstall;
    ASSERT_TRUE(uninstall.Start("\"" + Join(folder, "uninstall.exe") + "\"", "C:\\"));
    HWND box = WaitForDialog(kBoxCaption, uninstall.pid);
    ASSERT_TRUE(box) << "no confirmation with the German caption";
    EXPECT_EQ(MessageBoxText(box), "Mit der Deinstallation von Melvox fortfahren?");
    Press(box, IDNO);
    EXPECT_EQ(uninstall.Wait(15000), 0u);
    EXPECT_TRUE(FileExists(Join(folder, "keep.txt")));
    EXPECT_TRUE(FileExists(Join(folder, "Uninstall.lst")));
    EXPECT_TRUE(FileExists(Join(folder, "mvxlng.dll")));
}

TEST_F(LanguageModule, MessagesPutThePathIntoTheTranslatedText)
{
    folder = MakeInstallFolder("lang messages");
    std::string program = Join(folder, "uninstall.exe");

    // Without Uninstall.lst: the German error with the list's name for %s.
    Process uninstall;
    ASSERT_TRUE(uninstall.Start("\"" + program + "\"", "C:\\"));
    HWND box = WaitForDialog(kBoxCaption, uninstall.pid);
    ASSERT_TRUE(box);
    Press(box, IDYES);
    ASSERT_TRUE(WaitForWindowGone(box));
    HWND error = WaitForDialog(kBoxCaption, uninstall.pid);
    ASSERT_TRUE(error);
    EXPECT_EQ(MessageBoxText(error), "Die Listendatei Uninstall.lst kann nicht ge\xF6" "ffnet werden");
    Press(error, IDOK);
    EXPECT_EQ(uninstall.Wait(15000), 0u);

    const std::string german = "Deinstallation abgeschlossen\nBitte l\xF6schen Sie " + program + " von Hand";
    Process warning;
    ASSERT_TRUE(warning.Start("\"" + program + "\" /warning", folder));
    box = WaitForDialog(kBoxCaption, warning.pid);
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageBoxText(box), german);
    Press(box, IDOK);
    EXPECT_EQ(warning.Wait(15000), 0u);

    // No interpreter for the cleanup script (COMSPEC unset on the Windows
    // 95 family): the listed module is already gone when the program file
    // stays, and the user is still told in German.
    ASSERT_TRUE(WriteFileText(Join(folder, "Uninstall.lst"), "mvxlng.dll\r\n"));
    char comspec[MAX_PATH];
    GetEnvironmentVariableA("COMSPEC", comspec, MAX_PATH);
    SetEnvironmentVariableA("COMSPEC", NULL);
    SetWineVersion("win98", "uninstall.exe");
    Process uninstallAll;
    bool started = uninstallAll.Start("\"" + program + "\"", "C:\\");
    SetEnvironmentVariableA("COMSPEC", comspec);
    if (!started)
        SetWineVersion("", "uninstall.exe");
    ASSERT_TRUE(started);
    box = WaitForDialog(kBoxCaption, uninstallAll.pid);
    ASSERT_TRUE(box);
    Press(box, IDYES);
    ASSERT_TRUE(WaitForWindowGone(box));
    box = WaitForDialog(kBoxCaption, uninstallAll.pid);
    SetWineVersion("", "uninstall.exe");
    ASSERT_TRUE(box) << "no warning in German";
    EXPECT_EQ(MessageBoxText(box), german);
    Press(box, IDOK);
    EXPECT_EQ(uninstallAll.Wait(15000), 0u);
    EXPECT_FALSE(FileExists(Join(folder, "mvxlng.dll")));
}

} // namespace
