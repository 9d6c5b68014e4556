// The real program, started without options from this process: the
// confirmation, the missing list, the whole uninstall down to the cleanup
// script that Wine's own command interpreter runs; and the packaged road:
// the sample NSIS installer, then Wine's list of installed programs.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <set>

#include "resource.h"
#include "testsupport.h"
#include "uninstall_support.h"

using namespace testsupport;
using namespace uninstalltest;

namespace {

const char kCaption[] = "Uninstall Melvox";

// Every file and folder below root, one name a line.
std::string ListTree(const std::string &root, const std::string &relative = "")
{
    std::string text;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(Join(Join(root, relative), "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return text;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string path = relative.empty() ? name : relative + "\\" + name;
        text += path + "\n";
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            text += ListTree(root, path);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return text;
}

class EndToEnd : public ::testing::Test {
protected:
    std::string folder;
    std::string program;
    std::string links[3];

    // A sample install after setup: the real setup run by the program
    // itself, or its registry steps run in this process (faster).
    void MakeSetUpInstall(const std::string &tag, bool withList, bool realSetup = false)
    {
        RemoveAllMelvoxKeys();
        DeleteFileA(ScriptPath().c_str());
        folder = MakeInstall(tag, withList);
        program = Join(folder, "uninstall.exe");
        RegSetString(HKEY_CLASSES_ROOT, ".zip", "", "WinZipper.Zip");
        links[0] = Join(SpecialFolder(CSIDL_DESKTOPDIRECTORY), "Melvox.lnk");
        links[1] = Join(SpecialFolder(CSIDL_STARTMENU), "Melvox.lnk");
        links[2] = Join(SpecialFolder(CSIDL_PROGRAMS), "Melvox");
        if (realSetup) {
            ASSERT_TRUE(RunRealSetup(program, folder));
            ASSERT_TRUE(FileExists(links[0]));
            ASSERT_TRUE(FileExists(links[1]));
        } else {
            ApplySetupSteps(folder);
            WriteFileText(links[0], "link");
            WriteFileText(links[1], "link");
        }
        // The group by hand: the real one would open its folder window.
        CreateDirectoryA(links[2].c_str(), NULL);
        WriteFileText(Join(links[2], "Melvox.lnk"), "link");
    }

    std::string State() { return DumpMelvoxState() + ListTree(folder) + ShortcutState(); }

    std::string ShortcutState()
    {
        std::string text;
        for (const std::string &link : links)
            text += link + (GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES ? " here\n" : " gone\n");
        return text;
    }

    // Starts the copied program from another folder, as the list of
    // installed programs does, and waits for its confirmation.
    HWND StartAndConfirm(Process *process, const std::string &arguments = "")
    {
        std::string command = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
        if (!process->Start(command, "C:\\"))
            return NULL;
        HWND box = WaitForDialog(kCaption, process->pid);
        if (box)
            EXPECT_EQ("Continue with uninstall Melvox", MessageBoxText(box));
        return box;
    }

    void TearDown() override
    {
        SetWineVersion("", "uninstall.exe");
        RemoveAllMelvoxKeys();
        for (const std::string &link : links)
            if (!link.empty())
                RemoveTree(link);
        if (!folder.empty())
            RemoveTree(folder);
        DeleteFileA(ScriptPath().c_str());
    }
};

TEST_F(EndToEnd, AnsweredNoChangesNothing)
{
    MakeSetUpInstall("e2e-no", true, true);
    std::string before = State();
    Process process;
    HWND box = StartAndConfirm(&process);
    ASSERT_NE(nullptr, box);
    Press(box, IDNO);
    EXPECT_EQ(0u, process.Wait(10000));
    EXPECT_EQ(before, State());
    EXPECT_FALSE(FileExists(ScriptPath()));
}

TEST_F(EndToEnd, WithoutListReportsAndChangesNothing)
{
    MakeSetUpInstall("e2e-nolist", false);
    std::string before = State();
    Process process;
    HWND box = StartAndConfirm(&process);
    ASSERT_NE(nullptr, box);
    Press(box, IDYES);
    ASSERT_TRUE(WaitForWindowGone(box));
    HWND error = WaitForDialog(kCaption, process.pid);
    ASSERT_NE(nullptr, error);
    EXPECT_EQ("Cannot open list file Uninstall.lst", MessageBoxText(error));
    Press(error, IDOK);
    EXPECT_EQ(0u, process.Wait(10000));
    EXPECT_EQ(before, State());
    EXPECT_TRUE(FileExists(Join(folder, "melvox.gid")));
}

TEST_F(EndToEnd, CommandLineWithoutSlashUninstalls)
{
    MakeSetUpInstall("e2e-dash", true);
    Process process;
    HWND box = StartAndConfirm(&process, "-setup");
    ASSERT_NE(nullptr, box);
    Press(box, IDNO);
    EXPECT_EQ(0u, process.Wait(10000));
    EXPECT_TRUE(FileExists(Join(folder, "Uninstall.lst")));
}

// Answered Yes: everything setup made goes, and within about ten seconds
// the script, run by Wine's own interpreter, removes the program, the
// folder and itself.
TEST_F(EndToEnd, AnsweredYesRemovesEverything)
{
    MakeSetUpInstall("e2e J\xF6rg 100%", true, true); // OEM code page and %
    // A line that would leave the folder, and its canary.
    std::string canary = Join(folder, "..\\canary.txt");
    WriteFileText(canary, "outside");
    std::string list;
    ReadFileText(Join(folder, "Uninstall.lst"), &list);
    WriteFileText(Join(folder, "Uninstall.lst"), list + "..\\canary.txt\r\n");

    Process process;
    HWND box = StartAndConfirm(&process);
    ASSERT_NE(nullptr, box);
    DWORD start = GetTickCount();
    Press(box, IDYES);
    EXPECT_EQ(0u, process.Wait(15000));

    EXPECT_EQ("", MelvoxKeysLeft());
    std::string zipOwner;
    RegReadString(HKEY_CLASSES_ROOT, ".zip", "", &zipOwner);
    EXPECT_EQ("WinZipper.Zip", zipOwner);
    std::string shortcuts = ShortcutState();
    EXPECT_EQ(std::string::npos, shortcuts.find(" here")) << shortcuts;
    EXPECT_TRUE(FileExists(canary));

    EXPECT_TRUE(WaitUntilGone(folder, 12000)) << ListTree(folder);
    EXPECT_TRUE(WaitUntilGone(ScriptPath(), 3000));
    printf("program, folder and script gone %lu ms after Yes\n",
           (unsigned long)(GetTickCount() - start));
    EXPECT_TRUE(WaitForDialog(kCaption, 0, 500) == NULL); // no warning
    DeleteFileA(canary.c_str());
}

// The names of the entries in the system's list of installed programs.
std::set<std::string> InstalledProgramKeys()
{
    std::set<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                      0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    char name[256];
    for (DWORD i = 0;; i++) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        names.insert(name);
    }
    RegCloseKey(key);
    return names;
}

// The packaged road, as a user meets it: the sample NSIS installer, run
// silently into a folder with a space, writes Uninstall.lst and runs
// "uninstall.exe /setup" there, waiting for it; the Setup dialog is
// answered with its defaults. Then Wine's list of installed programs
// starts the uninstall by the entry's key and waits for it, and afterwards
// only the extension keys and ShellNew templates stay, as documented.
TEST_F(EndToEnd, PackagedInstallRemovedThroughTheSystemList)
{
    std::string installer = BuiltFile("samples/installer/melvox-setup.exe");
    if (!FileExists(installer))
        GTEST_SKIP() << installer << " was not built (makensis was not found)";
    RemoveAllMelvoxKeys();
    DeleteFileA(ScriptPath().c_str());
    RegSetString(HKEY_CLASSES_ROOT, ".zip", "", "WinZipper.Zip");
    links[0] = Join(SpecialFolder(CSIDL_DESKTOPDIRECTORY), "Melvox.lnk");
    links[1] = Join(SpecialFolder(CSIDL_STARTMENU), "Melvox.lnk");
    links[2] = Join(SpecialFolder(CSIDL_PROGRAMS), "Melvox");
    folder = MakeProgramFilesFolder("nsis install");
    std::string install = Join(folder, "Melvox");
    std::set<std::string> entriesBefore = InstalledProgramKeys();

    Process setupRun;
    ASSERT_TRUE(setupRun.Start("\"" + installer + "\" /S /D=" + install, "C:\\"));
    HWND setup = WaitForDialog("Melvox Setup", 0, 30000, "OK");
    ASSERT_NE(nullptr, setup) << "the installer started no uninstall.exe /setup";
    EXPECT_EQ(STILL_ACTIVE, setupRun.Wait(0)) << "the installer did not wait for setup";

    // Uninstall.lst as the installer wrote it, before setup: every file and
    // folder it made but uninstall.exe and the list, each folder before
    // the files in it, in single-byte text.
    std::string list;
    ASSERT_TRUE(ReadFileText(Join(install, "Uninstall.lst"), &list));
    EXPECT_EQ(std::string::npos, list.find('\0'));
    EXPECT_NE(0, list.compare(0, 3, "\xEF\xBB\xBF"));
    std::set<std::string> listed;
    for (size_t at = 0; at < list.size();) {
        size_t end = list.find('\n', at);
        std::string entry = list.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? list.size() : end + 1;
        if (!entry.empty() && entry.back() == '\r')
            entry.pop_back();
        if (entry.empty())
            continue;
        size_t cut = entry.rfind('\\');
        if (cut != std::string::npos)
            EXPECT_EQ(1u, listed.count(entry.substr(0, cut))) << entry << " before its folder";
        EXPECT_TRUE(listed.insert(entry).second) << entry << " listed twice";
    }
    std::string tree = ListTree(install);
    std::set<std::string> installed;
    for (size_t at = 0; at < tree.size(); at = tree.find('\n', at) + 1)
        installed.insert(tree.substr(at, tree.find('\n', at) - at));
    EXPECT_EQ(1u, installed.erase("uninstall.exe"));
    EXPECT_EQ(1u, installed.erase("Uninstall.lst"));
    EXPECT_EQ(installed, listed) << list;
    EXPECT_EQ(1u, listed.count("Melvox.exe"));
    EXPECT_EQ(1u, listed.count("Skins\\Classic\\skin.ini"));

    DWORD setupPid = 0;
    GetWindowThreadProcessId(setup, &setupPid);
    Press(setup, IDOK);
    HWND done = WaitForDialog("Melvox Setup", setupPid, 15000, "Done");
    ASSERT_NE(nullptr, done);
    EXPECT_EQ(install, ControlText(done, IDC_FOLDER)) << "setup ran elsewhere";
    Press(done, IDOK);
    EXPECT_EQ(0u, setupRun.Wait(15000));
    // Done opened the group in Wine's explorer, which holds the install
    // folder as its current directory until it has closed.
    EXPECT_TRUE(CloseOtherWindow("Melvox", 15000, true)) << "no program group window";
    ASSERT_TRUE(FolderExists(links[2]));
    // The installer itself added nothing to the list of installed programs.
    std::set<std::string> added = InstalledProgramKeys();
    for (const std::string &name : entriesBefore)
        added.erase(name);
    EXPECT_EQ(std::set<std::string>{"Melvox archiver"}, added);

    // The system's list of the machine: the 64-bit one on 64-bit Windows,
    // which finds a 32-bit program's entry under Wow6432Node.
    const std::string uninstaller = Join(NativeSystemFolder(), "uninstaller.exe");
    const std::string listing = Join(folder, "list.txt");
    char comspec[MAX_PATH] = "";
    GetEnvironmentVariableA("COMSPEC", comspec, MAX_PATH);
    RunAndWait(comspec, "/d /s /c \"\"" + uninstaller + "\" --list > \"" + listing + "\"\"", "C:\\");
    std::string shown;
    ReadFileText(listing, &shown);
    DeleteFileA(listing.c_str());
    EXPECT_NE(std::string::npos, shown.find("Melvox archiver|||Melvox archiver")) << shown;
    Process removal;
    ASSERT_TRUE(removal.Start("\"" + uninstaller + "\" --remove \"Melvox archiver\"", "C:\\"));
    HWND box = WaitForDialog(kCaption, 0, 20000);
    ASSERT_NE(nullptr, box) << "Wine's uninstaller started no uninstall";
    EXPECT_EQ("Continue with uninstall Melvox", MessageBoxText(box));
    Press(box, IDYES);
    EXPECT_EQ(0u, removal.Wait(20000)) << "Wine's uninstaller did not end";

    EXPECT_EQ("", MelvoxKeysLeft());
    std::string zipOwner;
    RegReadString(HKEY_CLASSES_ROOT, ".zip", "", &zipOwner);
    EXPECT_EQ("WinZipper.Zip", zipOwner);
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, ".mvx\\ShellNew"));
    std::string shortcuts = ShortcutState();
    EXPECT_EQ(std::string::npos, shortcuts.find(" here")) << shortcuts;
    EXPECT_TRUE(WaitUntilGone(install, 12000)) << ListTree(install);
    EXPECT_EQ("", ListTree(folder));
    EXPECT_TRUE(WaitUntilGone(ScriptPath(), 3000));
    EXPECT_TRUE(WaitForDialog(kCaption, 0, 500) == NULL); // no warning
}

// The language module lies in the install folder and is listed, as an
// installer lists it: it must not keep the passes going nor the folder.
TEST_F(EndToEnd, ListedLanguageModuleGoesWithTheFolder)
{
    MakeSetUpInstall("e2e-lang", true);
    ASSERT_TRUE(CopyFileTo(BuiltFile("samples/lang-de/mvxlng.dll"), Join(folder, "mvxlng.dll")));
    std::string list;
    ReadFileText(Join(folder, "Uninstall.lst"), &list);
    WriteFileText(Join(folder, "Uninstall.lst"), "mvxlng.dll\r\n" + list);

    Process process;
    ASSERT_TRUE(process.Start("\"" + program + "\"", "C:\\"));
    HWND box = WaitForDialog("Melvox deinstallieren", process.pid);
    ASSERT_NE(nullptr, box) << "no confirmation from the language module";
    Press(box, IDYES);
    EXPECT_EQ(0u, process.Wait(15000)) << "the removal passes did not end";
    EXPECT_TRUE(WaitUntilGone(folder, 12000)) << ListTree(folder);
}

// A program in a drive root: the root is its folder, which stays.
TEST_F(EndToEnd, DriveRootInstall)
{
    RemoveAllMelvoxKeys();
    program = "C:\\uninstall.exe";
    ASSERT_TRUE(CopyFileTo(ProgramExe(), program));
    WriteFileText("C:\\melvox-root-file.txt", "listed");
    WriteFileText("C:\\melvox.gid", "index");
    WriteFileText("C:\\Uninstall.lst", "melvox-root-file.txt\r\n");
    Process process;
    HWND box = StartAndConfirm(&process);
    ASSERT_NE(nullptr, box);
    Press(box, IDYES);
    EXPECT_EQ(0u, process.Wait(15000));
    EXPECT_FALSE(FileExists("C:\\melvox-root-file.txt"));
    EXPECT_FALSE(FileExists("C:\\melvox.gid"));
    EXPECT_FALSE(FileExists("C:\\Uninstall.lst"));
    EXPECT_TRUE(WaitUntilGone(program, 12000));
    EXPECT_TRUE(WaitUntilGone(ScriptPath(), 3000));
    EXPECT_TRUE(FolderExists("C:\\windows"));
    DeleteFileA(program.c_str());
}

// Names outside the OEM code page: the system's best fit would turn the
// install folder "MelvØx" into "MelvOx" and the temp folder "Šimon" into
// "Simon" in the script. Beside each stands a decoy of that look-alike
// name, which must stay byte for byte; the program's own file and folder
// still go.
TEST_F(EndToEnd, LookAlikeNamesNeverLeadTheScriptElsewhere)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    for (bool inTemp : {false, true}) {
        SCOPED_TRACE(inTemp ? "temp folder under \x8Aimon" : "install folder Melv\xD8x");
        MakeSetUpInstall(inTemp ? "e2e-oem" : "e2e Melv\xD8x", true);
        std::string decoy, script = ScriptPath(), decoyBytes = "decoy: not the program's";
        std::string temps;
        if (inTemp) {
            temps = MakeTempFolder("e2e-temps");
            std::string own = Join(temps, "\x8Aimon");
            CreateDirectoryA(own.c_str(), NULL);
            CreateDirectoryA(Join(temps, "Simon").c_str(), NULL);
            decoy = Join(temps, "Simon\\Uninstall.Mvx.Bat");
            script = Join(own, "Uninstall.Mvx.Bat");
            SetEnvironmentVariableA("TMP", own.c_str());
            SetEnvironmentVariableA("TEMP", own.c_str());
        } else {
            std::string lookAlike = folder;
            lookAlike[lookAlike.find('\xD8')] = 'O';
            CreateDirectoryA(lookAlike.c_str(), NULL);
            decoy = Join(lookAlike, "uninstall.exe");
        }
        ASSERT_TRUE(WriteFileText(decoy, decoyBytes));

        Process process;
        HWND box = StartAndConfirm(&process);
        SetEnvironmentVariableA("TMP", temp);
        SetEnvironmentVariableA("TEMP", temp);
        ASSERT_NE(nullptr, box);
        Press(box, IDYES);
        EXPECT_EQ(0u, process.Wait(15000));
        EXPECT_TRUE(WaitUntilGone(folder, 12000)) << ListTree(folder);
        EXPECT_TRUE(WaitUntilGone(script, 3000));
        std::string bytes;
        EXPECT_TRUE(ReadFileText(decoy, &bytes));
        EXPECT_EQ(decoyBytes, bytes);
        EXPECT_TRUE(WaitForDialog(kCaption, 0, 500) == NULL); // no warning
        RemoveTree(inTemp ? temps : decoy.substr(0, decoy.rfind('\\')));
        TearDown();
    }
}

// A program planted where an unquoted path with blanks would first be
// looked for: the open command, the uninstall entry and "Run Melvox" each
// start the right program, never the planted one.
TEST_F(EndToEnd, QuotedCommandLinesNeverStartAPlantedProgram)
{
    RemoveAllMelvoxKeys();
    const std::string planted = "C:\\Program.exe";
    std::string record = Join(MakeTempFolder("e2e-planted"), "ran.txt");
    ASSERT_TRUE(CopyFileTo(BuiltFile("tests/uninstall/interpreter_recorder.exe"), planted));
    SetEnvironmentVariableA("MELVOX_RECORDER_OUT", record.c_str());
    folder = Join(SpecialFolder(CSIDL_PROGRAM_FILES), "Melvox e2e quoted");
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), NULL);
    program = Join(folder, "uninstall.exe");
    std::string melvox = Join(folder, "Melvox.exe");
    ASSERT_TRUE(CopyFileTo(ProgramExe(), program));
    ASSERT_TRUE(CopyFileTo(BuiltFile("samples/stubs/Melvox.exe"), melvox));
    WriteFileText(Join(folder, "Uninstall.lst"), "Melvox.exe\r\n");
    std::string archive = Join(folder, "sample archive.mvx");
    WriteFileText(archive, "MVX");

    // The trap is live: an unquoted command line starts the planted program.
    Process trap;
    ASSERT_TRUE(trap.Start(melvox));
    trap.Wait(10000);
    ASSERT_TRUE(FileExists(record)) << "the planted program did not catch an unquoted path";
    DeleteFileA(record.c_str());

    // The Melvox stand-in shows its command line; closing it ends it.
    auto closeMelvox = [](std::string *commandLine) {
        HWND window = NULL;
        for (int i = 0; i < 100 && !window; i++, Sleep(100))
            window = FindWindowA("MelvoxSampleWindow", NULL);
        if (!window)
            return false;
        *commandLine = ControlText(window, 0);
        PostMessageA(window, WM_CLOSE, 0, 0);
        return WaitForWindowGone(window);
    };
    std::string shown;

    Process setup;
    ASSERT_TRUE(setup.Start("\"" + program + "\" /setup", folder));
    HWND dialog = WaitForDialog(NULL, setup.pid, 15000, "OK");
    ASSERT_NE(nullptr, dialog);
    SetChecked(dialog, IDC_PROGRAMS, false);
    Press(dialog, IDOK);
    HWND done = WaitForDialog(NULL, setup.pid, 15000, "Done");
    ASSERT_NE(nullptr, done);
    Press(done, IDC_RUNMELVOX);
    EXPECT_TRUE(closeMelvox(&shown)) << "Run Melvox started no Melvox";
    Press(done, IDOK);
    EXPECT_EQ(0u, setup.Wait(15000));

    ASSERT_GT((INT_PTR)ShellExecuteA(NULL, "open", archive.c_str(), NULL, NULL, SW_SHOWNORMAL), 32);
    EXPECT_TRUE(closeMelvox(&shown)) << "opening an archive started no Melvox";
    EXPECT_NE(std::string::npos, shown.find("\"" + archive + "\"")) << shown;
    // On 64-bit Windows the shell of the other kind reads the shared class
    // keys and opens the archive the same way.
    if (!OtherKindSystemFolder().empty()) {
        Process shell;
        ASSERT_TRUE(shell.Start("\"" + Join(OtherKindSystemFolder(), "start.exe") + "\" \"" + archive + "\""));
        EXPECT_TRUE(closeMelvox(&shown)) << "the other kind's shell started no Melvox";
        EXPECT_NE(std::string::npos, shown.find("\"" + archive + "\"")) << shown;
        shell.Wait(10000);
    }

    // Wine's list of installed programs runs the uninstall entry.
    Process list;
    ASSERT_TRUE(list.Start("uninstaller.exe --remove \"Melvox archiver\""));
    HWND box = WaitForDialog(kCaption, 0);
    EXPECT_NE(nullptr, box) << "the uninstall entry started no uninstall";
    if (box)
        Press(box, IDNO);
    EXPECT_EQ(0u, list.Wait(15000));

    EXPECT_FALSE(FileExists(record)) << "the planted program ran";
    SetEnvironmentVariableA("MELVOX_RECORDER_OUT", NULL);
    DeleteFileA(planted.c_str());
    RemoveTree(record.substr(0, record.rfind('\\')));
}

std::string RecordField(const std::string &record, const std::string &name)
{
    size_t at = record.find(name + "=");
    if (at == std::string::npos)
        return "<missing>";
    at += name.size() + 1;
    return record.substr(at, record.find('\n', at) - at);
}

// How the interpreter is started on each platform family, and the script
// it gets, seen by a stand-in interpreter: the NT family starts it hidden;
// platform id 1 detached, with NUL as all three standard handles, and the
// script's first line goes through start /wait. The paths are written in
// the OEM code page with every '%' doubled.
TEST_F(EndToEnd, InterpreterStartedAsThePlatformWants)
{
    std::string recorder = BuiltFile("tests/uninstall/interpreter_recorder.exe");
    ASSERT_TRUE(FileExists(recorder));
    std::string recordPath = Join(MakeTempFolder("record"), "record.txt");
    char comspec[MAX_PATH];
    GetEnvironmentVariableA("COMSPEC", comspec, MAX_PATH);

    for (const char *version : {"", "win98"}) {
        SCOPED_TRACE(version[0] ? version : "NT");
        SetWineVersion(version, "uninstall.exe");
        MakeSetUpInstall("e2e J\xF6rg 50%", true);
        DeleteFileA(recordPath.c_str());
        SetEnvironmentVariableA("COMSPEC", recorder.c_str());
        SetEnvironmentVariableA("MELVOX_RECORDER_OUT", recordPath.c_str());
        Process process;
        HWND box = StartAndConfirm(&process);
        SetEnvironmentVariableA("COMSPEC", comspec);
        ASSERT_NE(nullptr, box);
        Press(box, IDYES);
        EXPECT_EQ(0u, process.Wait(15000));
        ASSERT_TRUE(WaitUntilGone(Join(folder, "Uninstall.lst"), 1000));
        std::string record;
        for (int i = 0; i < 100 && !ReadFileText(recordPath, &record); i++)
            Sleep(100);
        Sleep(200);
        ASSERT_TRUE(ReadFileText(recordPath, &record));

        EXPECT_EQ(recorder + " /c \"" + ScriptPath() + "\"", RecordField(record, "command"));
        EXPECT_EQ(folder.substr(0, folder.rfind('\\')), RecordField(record, "folder"));
        bool win9x = version[0] != '\0';
        if (win9x) {
            EXPECT_EQ(std::to_string(STARTF_USESTDHANDLES), RecordField(record, "flags"));
            EXPECT_EQ("1", RecordField(record, "samehandles"));
            EXPECT_EQ("1", RecordField(record, "writable"));
            EXPECT_EQ("0", RecordField(record, "console"));
        } else {
            EXPECT_EQ(std::to_string(STARTF_USESHOWWINDOW), RecordField(record, "flags"));
            EXPECT_EQ(std::to_string(SW_HIDE), RecordField(record, "show"));
        }

        std::string script = record.substr(record.find('\n', record.find("script=")) + 1);
        std::string oemProgram = program;
        for (char &c : oemProgram)
            if (c == '\xF6')
                c = '\x94'; // o umlaut in code page 437
        std::string scriptProgram;
        for (char c : oemProgram)
            scriptProgram += c == '%' ? std::string("%%") : std::string(1, c);
        std::string first = (win9x ? "start /wait \"" : "\"") + scriptProgram + "\" /wait\r\n";
        EXPECT_EQ(first, script.substr(0, first.size()));
        EXPECT_EQ(std::string::npos, script.find('\xF6'));
        EXPECT_NE(std::string::npos, script.find("rd \"" + scriptProgram.substr(0, scriptProgram.rfind('\\')) + "\"\r\n"));
        size_t lineEnds = 0;
        for (size_t at = 0; (at = script.find("\r\n", at)) != std::string::npos; at += 2)
            lineEnds++;
        EXPECT_EQ(18u, lineEnds);
        EXPECT_EQ("del \"" + ScriptPath() + "\"", script.substr(script.rfind("\r\n") + 2));
        // Nothing ran the script: the program, its folder and the script stay.
        EXPECT_EQ("uninstall.exe\n", ListTree(folder));
        EXPECT_TRUE(FileExists(ScriptPath()));
        TearDown();
    }
    SetEnvironmentVariableA("MELVOX_RECORDER_OUT", NULL);
    RemoveTree(recordPath.substr(0, recordPath.rfind('\\')));
}

TEST_F(EndToEnd, ProgramThatCannotBeDeletedLeadsToTheWarning)
{
    MakeSetUpInstall("e2e-locked", true);
    // Readers (the loader) may still open the file; nobody may delete it.
    HANDLE hold = CreateFileA(program.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, hold);
    Process process;
    HWND box = StartAndConfirm(&process);
    ASSERT_NE(nullptr, box);
    Press(box, IDYES);
    EXPECT_EQ(0u, process.Wait(15000));
    HWND warning = WaitForDialog(kCaption, 0, 20000);
    ASSERT_NE(nullptr, warning);
    EXPECT_EQ("Uninstall completed\nYou should delete " + program + " manually", MessageBoxText(warning));
    Press(warning, IDOK);
    EXPECT_TRUE(WaitUntilGone(ScriptPath(), 10000));
    CloseHandle(hold);
    EXPECT_TRUE(FileExists(program));
    EXPECT_EQ("uninstall.exe\n", ListTree(folder));
}

// No interpreter can run the script (COMSPEC unset, or a command line that
// would not fit): the script is not left behind and the user is told to
// delete the program file.
TEST_F(EndToEnd, WithoutInterpreterTheUserIsTold)
{
    char comspec[MAX_PATH];
    ASSERT_GT(GetEnvironmentVariableA("COMSPEC", comspec, MAX_PATH), 0u);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string longTemp = MakeTempFolder(std::string(100, 't'));
    longTemp = Join(longTemp, std::string(110, 'u'));
    CreateDirectoryA(longTemp.c_str(), NULL);
    // Each fits a path; together with " /c \"\"" they do not fit 512.
    std::string longComspec = "C:\\" + std::string(248, 'c') + "\\cmd.exe";
    std::string longScript = Join(longTemp, "Uninstall.Mvx.Bat");
    ASSERT_LT(longComspec.size(), (size_t)MAX_PATH);
    ASSERT_LT(longScript.size(), (size_t)MAX_PATH);
    ASSERT_GE(longComspec.size() + longScript.size() + 6, 512u);

    struct { const char *what; const char *comspec; std::string temp; } cases[] = {
        {"COMSPEC unset", NULL, ""},
        {"command line too long", longComspec.c_str(), longTemp},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        MakeSetUpInstall("e2e-nocmd", true);
        std::string script = Join(c.temp.empty() ? temp : c.temp, "Uninstall.Mvx.Bat");
        SetEnvironmentVariableA("COMSPEC", c.comspec);
        if (!c.temp.empty()) {
            SetEnvironmentVariableA("TMP", c.temp.c_str());
            SetEnvironmentVariableA("TEMP", c.temp.c_str());
        }
        Process process;
        HWND box = StartAndConfirm(&process);
        SetEnvironmentVariableA("COMSPEC", comspec);
        SetEnvironmentVariableA("TMP", temp);
        SetEnvironmentVariableA("TEMP", temp);
        ASSERT_NE(nullptr, box);
        Press(box, IDYES);
        ASSERT_TRUE(WaitForWindowGone(box));
        HWND warning = WaitForDialog(kCaption, process.pid);
        ASSERT_NE(nullptr, warning);
        EXPECT_EQ("Uninstall completed\nYou should delete " + program + " manually", MessageBoxText(warning));
        Press(warning, IDOK);
        EXPECT_EQ(0u, process.Wait(10000));
        EXPECT_FALSE(FileExists(script));
        EXPECT_EQ("uninstall.exe\n", ListTree(folder));
        TearDown();
    }
    RemoveTree(longTemp.substr(0, longTemp.rfind('\\')));
}

} // namespace
