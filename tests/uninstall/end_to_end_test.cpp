// The real program, started without options from this process: the
// confirmation, the missing list, the whole uninstall down to the cleanup
// script that Wine's own command interpreter runs; and the packaged road:
// the sample NSIS installer, then Wine's list of installed programs.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <set>

#include "resource.h"
#include "setup_helpers.h"
#include "testsupport.h"
#include "app/held_folder.h"
#include "uninstall/uninstall.h"
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

// PendingFileRenameOperations as UTF-16 text, its NULs included.
std::wstring PendingOperations()
{
    std::wstring value;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, L"PendingFileRenameOperations", NULL, &type, NULL, &size) == ERROR_SUCCESS &&
        type == REG_MULTI_SZ) {
        value.assign(size / 2, L'\0');
        RegQueryValueExW(key, L"PendingFileRenameOperations", NULL, &type, (BYTE *)&value[0], &size);
    }
    RegCloseKey(key);
    return value;
}

void SetPendingOperations(const std::wstring &value)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                           0, KEY_SET_VALUE, &key));
    if (value.empty())
        RegDeleteValueW(key, L"PendingFileRenameOperations");
    else
        RegSetValueExW(key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ, (const BYTE *)value.data(),
                       (DWORD)(value.size() * 2));
    RegCloseKey(key);
}

std::wstring Wide(const std::string &text)
{
    std::wstring wide(text.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), &wide[0], (int)wide.size()));
    return wide;
}

std::string Narrow(const std::wstring &text)
{
    std::string narrow;
    for (wchar_t c : text)
        narrow += c == 0 ? std::string("|") : c < 128 ? std::string(1, (char)c) : "<" + std::to_string(c) + ">";
    return narrow;
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
        RemoveScriptFolders();
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

    // Answers the confirmation with Yes and waits for the next message box
    // of the same process; NULL when none comes.
    HWND AnswerYes(Process *process, HWND box)
    {
        Press(box, IDYES);
        return WaitForWindowGone(box) ? WaitForDialog(kCaption, process->pid) : NULL;
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
        RemoveScriptFolders();
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
    EXPECT_FALSE(FolderExists(ScriptFolder(process.pid)));
}

TEST_F(EndToEnd, WithoutListReportsAndChangesNothing)
{
    MakeSetUpInstall("e2e-nolist", false);
    std::string before = State();
    Process process;
    HWND box = StartAndConfirm(&process);
    ASSERT_NE(nullptr, box);
    HWND error = AnswerYes(&process, box);
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
// folder and itself. The elevated run takes nothing from where a program
// of the user could put it unelevated: not the interpreter that COMSPEC of
// the user's environment names, not a file planted under the script's
// name in the user's temp folder, nor a folder planted under the first
// name it would pick for the script's own folder.
TEST_F(EndToEnd, AnsweredYesRemovesEverything)
{
    MakeSetUpInstall("e2e J\xF6rg 100% !x!", true, true); // OEM code page, % and !
    // A line that would leave the folder, and its canary.
    std::string canary = Join(folder, "..\\canary.txt");
    WriteFileText(canary, "outside");
    std::string list;
    ReadFileText(Join(folder, "Uninstall.lst"), &list);
    WriteFileText(Join(folder, "Uninstall.lst"), list + "..\\canary.txt\r\n");
    std::string record = Join(MakeTempFolder("e2e-comspec"), "ran.txt");
    std::string recorder = BuiltFile("tests/uninstall/interpreter_recorder.exe");
    char comspec[MAX_PATH] = "";
    GetEnvironmentVariableA("COMSPEC", comspec, MAX_PATH);
    RegSetString(HKEY_CURRENT_USER, "Environment", "ComSpec", recorder);
    SetEnvironmentVariableA("COMSPEC", recorder.c_str());
    SetEnvironmentVariableA("MELVOX_RECORDER_OUT", record.c_str());
    const std::string planted = "@echo planted\r\n";
    ASSERT_TRUE(WriteFileText(ScriptPath(), planted));

    Process process;
    HWND box = StartAndConfirm(&process);
    SetEnvironmentVariableA("COMSPEC", comspec);
    HKEY environment;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Environment", 0, KEY_SET_VALUE, &environment) == ERROR_SUCCESS) {
        RegDeleteValueA(environment, "ComSpec");
        RegCloseKey(environment);
    }
    ASSERT_NE(nullptr, box);
    std::string taken = ScriptFolder(process.pid, 0), own = ScriptFolder(process.pid, 1);
    ASSERT_TRUE(CreateDirectoryA(taken.c_str(), NULL));
    ASSERT_TRUE(WriteFileText(Join(taken, "Uninstall.Mvx.Bat"), planted));
    DWORD start = GetTickCount();
    // The line that would leave the folder stays, and is named by number.
    HWND told = AnswerYes(&process, box);
    ASSERT_NE(nullptr, told);
    EXPECT_EQ("Some entries of Uninstall.lst could not be removed:\nline 9 of Uninstall.lst\n"
              "Please delete them by hand.", MessageBoxText(told));
    Press(told, IDOK);
    EXPECT_EQ(0u, process.Wait(15000));

    EXPECT_EQ("", MelvoxKeysLeft());
    std::string zipOwner;
    RegReadString(HKEY_CLASSES_ROOT, ".zip", "", &zipOwner);
    EXPECT_EQ("WinZipper.Zip", zipOwner);
    std::string shortcuts = ShortcutState();
    EXPECT_EQ(std::string::npos, shortcuts.find(" here")) << shortcuts;
    EXPECT_TRUE(FileExists(canary));

    EXPECT_TRUE(WaitUntilGone(folder, 12000)) << ListTree(folder);
    EXPECT_TRUE(WaitUntilGone(Join(own, "Uninstall.Mvx.Bat"), 3000));
    printf("program, folder and script gone %lu ms after Yes\n",
           (unsigned long)(GetTickCount() - start));
    // Its folder goes with it, or, where the interpreter still holds the
    // script when it comes to that, at the restart.
    EXPECT_TRUE(!FolderExists(own) || ListTree(own).empty()) << ListTree(own);
    EXPECT_NE(std::string::npos, Narrow(PendingOperations()).find("\\??\\" + own + "||")) << Narrow(PendingOperations());
    EXPECT_FALSE(FileExists(record)) << "the interpreter named by COMSPEC ran";
    std::string bytes;
    EXPECT_TRUE(ReadFileText(ScriptPath(), &bytes) && bytes == planted) << bytes;
    EXPECT_TRUE(ReadFileText(Join(taken, "Uninstall.Mvx.Bat"), &bytes) && bytes == planted) << bytes;
    EXPECT_EQ("Uninstall.Mvx.Bat\n", ListTree(taken));
    SetEnvironmentVariableA("MELVOX_RECORDER_OUT", NULL);
    RemoveTree(record.substr(0, record.rfind('\\')));
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
    ASSERT_TRUE(FileExists(installer)) << installer << " was not built (makensis was not found)";
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
    EXPECT_TRUE(WaitForScriptsGone(3000)) << ScriptsLeft();
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
    EXPECT_TRUE(WaitForScriptsGone(3000)) << ScriptsLeft();
    EXPECT_TRUE(FolderExists("C:\\windows"));
    DeleteFileA(program.c_str());
}

// Names outside the OEM code page: the system's best fit would turn the
// install folder "MelvØx" into "MelvOx" and the temp folder "Šimon" into
// "Simon" in the script (where an unelevated run writes it; the elevated
// run, the one Wine gives, must not use it at all). Beside each stands a
// decoy of that look-alike name, which must stay byte for byte; the
// program's own file and folder still go. Both names also hold what the command interpreter would split
// a line at ("John (Work)", "Tom & Jerry", '^'), for the real cmd.exe.
TEST_F(EndToEnd, LookAlikeNamesNeverLeadTheScriptElsewhere)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    for (bool inTemp : {false, true}) {
        SCOPED_TRACE(inTemp ? "temp folder under \x8Aimon" : "install folder Melv\xD8x");
        MakeSetUpInstall(inTemp ? "e2e-oem" : "e2e Melv\xD8x (Work) ^1", true);
        std::string decoy, decoyBytes = "decoy: not the program's";
        std::string temps;
        if (inTemp) {
            temps = MakeTempFolder("e2e-temps");
            std::string own = Join(temps, "\x8Aimon & Jerry (Work) ^");
            CreateDirectoryA(own.c_str(), NULL);
            CreateDirectoryA(Join(temps, "Simon & Jerry (Work) ^").c_str(), NULL);
            decoy = Join(temps, "Simon & Jerry (Work) ^\\Uninstall.Mvx.Bat");
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
        EXPECT_TRUE(WaitForScriptsGone(3000)) << ScriptsLeft();
        std::string bytes;
        EXPECT_TRUE(ReadFileText(decoy, &bytes));
        EXPECT_EQ(decoyBytes, bytes);
        RemoveTree(inTemp ? temps : decoy.substr(0, decoy.rfind('\\')));
        TearDown();
    }
}

// The Melvox stand-in shows its command line; closing it ends it.
bool CloseMelvox(std::string *commandLine)
{
    HWND window = NULL;
    for (int i = 0; i < (int)Patience(100) && !window; i++, Sleep(100))
        window = FindWindowA("MelvoxSampleWindow", NULL);
    if (!window)
        return false;
    *commandLine = ControlText(window, 0);
    PostMessageA(window, WM_CLOSE, 0, 0);
    return WaitForWindowGone(window);
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
    EXPECT_TRUE(CloseMelvox(&shown)) << "Run Melvox started no Melvox";
    Press(done, IDOK);
    EXPECT_EQ(0u, setup.Wait(15000));

    ASSERT_GT((INT_PTR)ShellExecuteA(NULL, "open", archive.c_str(), NULL, NULL, SW_SHOWNORMAL), 32);
    EXPECT_TRUE(CloseMelvox(&shown)) << "opening an archive started no Melvox";
    EXPECT_NE(std::string::npos, shown.find("\"" + archive + "\"")) << shown;
    // On 64-bit Windows the shell of the other kind reads the shared class
    // keys and opens the archive the same way.
    if (!OtherKindSystemFolder().empty()) {
        Process shell;
        ASSERT_TRUE(shell.Start("\"" + Join(OtherKindSystemFolder(), "start.exe") + "\" \"" + archive + "\""));
        EXPECT_TRUE(CloseMelvox(&shown)) << "the other kind's shell started no Melvox";
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

// Puts a stand-in at the system's own cmd.exe, and the real one back when
// it goes: Wine runs a native program in place of its builtin cmd only
// with an override, here the registry's, which every new process reads.
struct StandInInterpreter {
    std::string system, saved;
    DWORD error = 0;
    StandInInterpreter(const std::string &standIn, const std::string &keep)
    {
        char folder[MAX_PATH] = "";
        GetSystemDirectoryA(folder, MAX_PATH);
        system = Join(folder, "cmd.exe");
        saved = Join(keep, "cmd.exe");
        if (CopyFileA(system.c_str(), saved.c_str(), FALSE) && CopyFileA(standIn.c_str(), system.c_str(), FALSE))
            RegSetString(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "cmd.exe", "native");
        else
            error = GetLastError();
    }
    ~StandInInterpreter()
    {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, "cmd.exe");
            RegCloseKey(key);
        }
        // A stand-in that still runs holds its file.
        for (int i = 0; i < 100 && !CopyFileA(saved.c_str(), system.c_str(), FALSE); i++)
            Sleep(100);
    }
};

// How the interpreter is started on each platform family, and the script
// it gets, seen by a stand-in interpreter: the NT family starts the
// system's own cmd.exe hidden, whatever COMSPEC says, on a script in a
// folder of its own, which the script's last line removes; platform id 1
// starts COMSPEC detached, with NUL as all three standard handles, on a
// script in the temp folder whose first line goes through start /wait.
// The paths are written in the OEM code page with every '%' doubled.
TEST_F(EndToEnd, InterpreterStartedAsThePlatformWants)
{
    std::string recorder = BuiltFile("tests/uninstall/interpreter_recorder.exe");
    ASSERT_TRUE(FileExists(recorder));
    std::string records = MakeTempFolder("record"), recordPath = Join(records, "record.txt");
    char comspec[MAX_PATH];
    GetEnvironmentVariableA("COMSPEC", comspec, MAX_PATH);

    for (const char *version : {"", "win98"}) {
        SCOPED_TRACE(version[0] ? version : "NT");
        bool win9x = version[0] != '\0';
        SetWineVersion(version, "uninstall.exe");
        MakeSetUpInstall("e2e J\xF6rg 50%", true);
        DeleteFileA(recordPath.c_str());
        SetEnvironmentVariableA("MELVOX_RECORDER_OUT", recordPath.c_str());
        std::unique_ptr<StandInInterpreter> standIn(win9x ? nullptr : new StandInInterpreter(recorder, records));
        ASSERT_EQ(0u, win9x ? 0 : standIn->error) << "no stand-in at the system's cmd.exe";
        std::string interpreter = win9x ? recorder : standIn->system;
        SetEnvironmentVariableA("COMSPEC", recorder.c_str());
        Process process;
        HWND box = StartAndConfirm(&process);
        SetEnvironmentVariableA("COMSPEC", comspec);
        ASSERT_NE(nullptr, box);
        std::string own = ScriptFolder(process.pid);
        std::string scriptPath = win9x ? ScriptPath() : Join(own, "Uninstall.Mvx.Bat");
        Press(box, IDYES);
        EXPECT_EQ(0u, process.Wait(15000));
        ASSERT_TRUE(WaitUntilGone(Join(folder, "Uninstall.lst"), 1000));
        std::string record;
        for (int i = 0; i < 100 && !ReadFileText(recordPath, &record); i++)
            Sleep(100);
        Sleep(200);
        standIn.reset();
        ASSERT_TRUE(ReadFileText(recordPath, &record));

        EXPECT_EQ(win9x ? interpreter + " /c \"" + scriptPath + "\""
                        : "\"" + interpreter + "\" /d /v:off /s /c \"\"" + scriptPath + "\"\"",
                  RecordField(record, "command"));
        EXPECT_EQ(folder.substr(0, folder.rfind('\\')), RecordField(record, "folder"));
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
        EXPECT_EQ("del \"" + scriptPath + "\"" + (win9x ? "" : " & rd \"" + own + "\""),
                  script.substr(script.rfind("\r\n") + 2));
        // Nothing ran the script: the program, its folder and the script stay.
        EXPECT_EQ("uninstall.exe\n", ListTree(folder));
        EXPECT_TRUE(FileExists(scriptPath));
        TearDown();
    }
    SetEnvironmentVariableA("MELVOX_RECORDER_OUT", NULL);
    RemoveTree(records);
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
    EXPECT_TRUE(WaitForScriptsGone(10000)) << ScriptsLeft();
    CloseHandle(hold);
    EXPECT_TRUE(FileExists(program));
    EXPECT_EQ("uninstall.exe\n", ListTree(folder));
}

// The system's temp folder replaced by a file, so that no folder can be
// made in it; the folder is back when this goes.
struct SystemTempTaken {
    std::string temp, moved;
    SystemTempTaken()
    {
        char windows[MAX_PATH] = "";
        GetSystemWindowsDirectoryA(windows, MAX_PATH);
        temp = Join(windows, "Temp");
        moved = Join(windows, "Temp.moved");
        if (MoveFileA(temp.c_str(), moved.c_str()))
            WriteFileText(temp, "not a folder");
    }
    ~SystemTempTaken()
    {
        DeleteFileA(temp.c_str());
        MoveFileA(moved.c_str(), temp.c_str());
    }
};

// No script can run: on the Windows 95 family no interpreter (COMSPEC
// unset, or a command line that would not fit), on the NT family no folder
// of its own for the script, where the user's temp folder is no way out.
// No script is left behind and the user is told to delete the program
// file.
TEST_F(EndToEnd, WithoutInterpreterTheUserIsTold)
{
    char comspec[MAX_PATH];
    ASSERT_GT(GetEnvironmentVariableA("COMSPEC", comspec, MAX_PATH), 0u);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string longTemp = MakeTempFolder(std::string(100, 't'));
    longTemp = Join(longTemp, std::string(110, 'u'));
    CreateDirectoryA(longTemp.c_str(), NULL);
    // Each fits a path; with the interpreter's switch and quotes they do
    // not fit 512.
    std::string longComspec = "C:\\" + std::string(248, 'c') + "\\cmd.exe";
    std::string longScript = Join(longTemp, "Uninstall.Mvx.Bat");
    ASSERT_LT(longComspec.size(), (size_t)MAX_PATH);
    ASSERT_LT(longScript.size(), (size_t)MAX_PATH);
    ASSERT_GE(longComspec.size() + longScript.size() + 6, 512u);

    struct { const char *what, *version, *comspec; std::string temp; } cases[] = {
        {"COMSPEC unset", "win98", NULL, ""},
        {"command line too long", "win98", longComspec.c_str(), longTemp},
        {"no folder for the script", "", comspec, ""},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        MakeSetUpInstall("e2e-nocmd", true);
        SetWineVersion(c.version, "uninstall.exe");
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
        std::unique_ptr<SystemTempTaken> taken(c.version[0] ? nullptr : new SystemTempTaken);
        HWND warning = AnswerYes(&process, box);
        ASSERT_NE(nullptr, warning);
        EXPECT_EQ("Uninstall completed\nYou should delete " + program + " manually", MessageBoxText(warning));
        Press(warning, IDOK);
        EXPECT_EQ(0u, process.Wait(10000));
        taken.reset();
        EXPECT_FALSE(FileExists(script));
        EXPECT_FALSE(FolderExists(ScriptFolder(process.pid)));
        EXPECT_EQ("uninstall.exe\n", ListTree(folder));
        TearDown();
    }
    RemoveTree(longTemp.substr(0, longTemp.rfind('\\')));
}

// Melvox still runs from the install folder: the user is asked before
// anything is removed. Cancel leaves everything as it was; Retry once
// Melvox has ended completes the uninstall without a further word.
TEST_F(EndToEnd, RunningMelvoxIsClosedFirstOrNothingIsRemoved)
{
    MakeSetUpInstall("e2e-running", true);
    std::string melvox = Join(folder, "Melvox.exe");
    ASSERT_TRUE(CopyFileTo(BuiltFile("samples/stubs/Melvox.exe"), melvox));
    Process running;
    ASSERT_TRUE(running.Start("\"" + melvox + "\"", folder));
    HWND window = NULL;
    for (int i = 0; i < (int)Patience(100) && !window; i++, Sleep(100))
        window = FindWindowA("MelvoxSampleWindow", NULL);
    ASSERT_NE(nullptr, window);
    std::string before = State();
    const std::string question = "Melvox is still running: " + melvox +
        "\nClose it, then press Retry. Press Cancel to stop the uninstall; nothing has been removed.";

    for (bool retry : {false, true}) {
        SCOPED_TRACE(retry ? "Retry" : "Cancel");
        Process process;
        HWND box = StartAndConfirm(&process);
        ASSERT_NE(nullptr, box);
        HWND ask = AnswerYes(&process, box);
        ASSERT_NE(nullptr, ask);
        EXPECT_EQ(question, MessageBoxText(ask));
        if (!retry) {
            Press(ask, IDCANCEL);
            EXPECT_EQ(0u, process.Wait(10000));
            EXPECT_EQ(before, State());
            EXPECT_FALSE(FileExists(ScriptPath()));
            continue;
        }
        PostMessageA(window, WM_CLOSE, 0, 0);
        ASSERT_EQ(0u, running.Wait(10000));
        Press(ask, IDRETRY);
        // A further message box would keep the process from ending.
        EXPECT_EQ(0u, process.Wait(15000));
        EXPECT_EQ("", MelvoxKeysLeft());
        EXPECT_TRUE(WaitUntilGone(folder, 12000)) << ListTree(folder);
    }
}

// Files that others hold (the shell extension loaded as Explorer loads
// it, a listed text file in a listed folder open without delete sharing)
// cannot go now: the uninstall completes without asking, names one, and
// schedules exactly the held files, then their listed folders, then the
// install folder for the restart. The folders are listed with a trailing
// separator and with '/', as installers write them too. A reinstall
// before the restart takes those back and leaves another program's
// entries as they were; the restart, wineboot -r, removes the folder.
TEST_F(EndToEnd, FilesInUseGoAtTheRestartUnlessReinstalled)
{
    MakeSetUpInstall("e2e-held", true);
    WriteFileText(Join(folder, "Uninstall.lst"), "Melvox.exe\r\nmvxext.dll\r\nFormats\r\nFormats\\mvx.fmt\r\n"
                  "Formats\\zip.fmt\r\nSkins/\r\nSkins/Classic\\\r\nSkins\\Classic\\skin.ini\r\n");
    std::string dll = Join(folder, "mvxext.dll"), ini = Join(folder, "Skins\\Classic\\skin.ini");
    ASSERT_TRUE(CopyFileTo(BuiltFile("samples/stubs/mvxext.dll"), dll));
    HMODULE loaded = LoadLibraryA(dll.c_str());
    ASSERT_NE(nullptr, loaded);
    HANDLE open = CreateFileA(ini.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, open);
    // Another program's removal and a rename out of the install folder,
    // with a name no ANSI code page holds: they must stay to the byte.
    const std::wstring others = L"\\??\\C:\\melvox-tests\\other \x0416\x4E2D.tmp" + std::wstring(2, L'\0') +
        L"\\??\\" + Wide(folder) + L"\\update.new" + std::wstring(1, L'\0') + L"!\\??\\C:\\other\\x.dll" +
        std::wstring(1, L'\0');
    SetPendingOperations(others + std::wstring(1, L'\0'));

    Process process;
    HWND box = StartAndConfirm(&process);
    ASSERT_NE(nullptr, box);
    HWND told = AnswerYes(&process, box);
    ASSERT_NE(nullptr, told);
    EXPECT_EQ("Some files are still in use, among them " + dll + "\nThey will be removed when Windows restarts.",
              MessageBoxText(told));
    Press(told, IDOK);
    EXPECT_EQ(0u, process.Wait(15000));
    // Then the cleanup script's own folder, in case it is left.
    const std::wstring scriptFolder = L"\\??\\" + Wide(ScriptFolder(process.pid)) + std::wstring(2, L'\0');
    std::wstring scheduled = others;
    for (const std::string &name : {dll, ini, Join(folder, "Skins\\Classic"), Join(folder, "Skins"), folder})
        scheduled += L"\\??\\" + Wide(name) + std::wstring(2, L'\0');
    scheduled += scriptFolder + L'\0';
    std::wstring pending = PendingOperations();
    EXPECT_EQ(Narrow(scheduled), Narrow(pending));
    printf("[ figures  ] PendingFileRenameOperations after the uninstall: %s\n", Narrow(pending).c_str());
    // The script still removes the program; the held files keep the folder.
    EXPECT_TRUE(WaitUntilGone(program, 12000));
    EXPECT_TRUE(WaitForScriptsGone(3000)) << ScriptsLeft();
    EXPECT_TRUE(FileExists(dll) && FileExists(ini));
    std::string left = ListTree(folder);
    EXPECT_EQ(4, std::count(left.begin(), left.end(), '\n')) << left;

    // A reinstall into the folder before the restart.
    ASSERT_TRUE(CopyFileTo(ProgramExe(), program));
    ASSERT_TRUE(RunRealSetup(program, folder));
    EXPECT_EQ(Narrow(others + scriptFolder + std::wstring(1, L'\0')), Narrow(PendingOperations()));
    DeleteFileA(program.c_str());

    // Without it the restart removes the held files and the folder.
    SetPendingOperations(pending);
    FreeLibrary(loaded);
    CloseHandle(open);
    EXPECT_EQ(0u, RunAndWait("C:\\windows\\system32\\wineboot.exe", "-r", "C:\\", 60000));
    EXPECT_FALSE(FolderExists(folder)) << ListTree(folder);
    SetPendingOperations(L"");
}

// One setup or uninstall at a time: an uninstall or a setup started while
// an uninstall asks its question says so, under its own caption, and
// changes nothing; the first one then removes everything, once.
TEST_F(EndToEnd, OneSetupOrUninstallAtATime)
{
    MakeSetUpInstall("e2e-twice", true);
    std::string before = State();
    std::string command = "\"" + program + "\"";
    Process first, second;
    ASSERT_TRUE(first.Start(command, "C:\\"));
    ASSERT_TRUE(second.Start(command, "C:\\"));
    HWND boxes[2] = {WaitForDialog(kCaption, first.pid), WaitForDialog(kCaption, second.pid)};
    ASSERT_NE(nullptr, boxes[0]);
    ASSERT_NE(nullptr, boxes[1]);
    const std::string running = "Setup or uninstall of Melvox is already running.\nPlease wait until it has ended.";
    int asking = MessageBoxText(boxes[0]) == running ? 1 : 0;
    EXPECT_EQ("Continue with uninstall Melvox", MessageBoxText(boxes[asking]));
    EXPECT_EQ(running, MessageBoxText(boxes[1 - asking]));
    Press(boxes[1 - asking], IDOK);
    EXPECT_EQ(0u, (asking ? first : second).Wait(10000));

    Process setup;
    ASSERT_TRUE(setup.Start(command + " /setup", folder));
    HWND refused = WaitForDialog("Melvox Setup", setup.pid);
    ASSERT_NE(nullptr, refused);
    EXPECT_EQ(running, MessageBoxText(refused));
    Press(refused, IDOK);
    EXPECT_EQ(0u, setup.Wait(10000));
    EXPECT_EQ(before, State());
    EXPECT_FALSE(FileExists(ScriptPath()));
    EXPECT_EQ("", ScriptsLeft());

    Press(boxes[asking], IDYES);
    EXPECT_EQ(0u, (asking ? second : first).Wait(15000));
    EXPECT_EQ("", MelvoxKeysLeft());
    EXPECT_TRUE(WaitUntilGone(folder, 12000)) << ListTree(folder);
    EXPECT_TRUE(WaitForScriptsGone(3000)) << ScriptsLeft();
}

// Setup cancelled under the sample installer: the installer removes what
// it copied and ends with an error, instead of leaving a Melvox that no
// list of installed programs knows.
TEST_F(EndToEnd, PackagedInstallWithSetupCancelledLeavesNoFiles)
{
    std::string installer = BuiltFile("samples/installer/melvox-setup.exe");
    ASSERT_TRUE(FileExists(installer)) << installer << " was not built (makensis was not found)";
    RemoveAllMelvoxKeys();
    folder = MakeTempFolder("nsis cancel");
    std::string install = Join(folder, "Melvox");
    Process setupRun;
    ASSERT_TRUE(setupRun.Start("\"" + installer + "\" /S /D=" + install, "C:\\"));
    HWND setup = WaitForDialog("Melvox Setup", 0, 30000, "OK");
    ASSERT_NE(nullptr, setup) << "the installer started no uninstall.exe /setup";
    EXPECT_NE("", ListTree(install));
    Press(setup, IDCANCEL);
    DWORD code = setupRun.Wait(30000);
    EXPECT_NE(STILL_ACTIVE, code);
    EXPECT_NE(0u, code);
    EXPECT_FALSE(FolderExists(install)) << ListTree(install);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE,
                              "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Melvox archiver"));
}

// An install folder named outside the ANSI code page (Cyrillic on 1252):
// the ANSI functions give '?' for those letters. Setup in it and the
// uninstall of it each say so in one message and change nothing.
TEST_F(EndToEnd, FolderOutsideTheCodePageIsRefusedWithAMessage)
{
    MakeSetUpInstall("e2e-codepage", true);
    std::string before = State();
    auto widen = [](const std::string &text) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, MAX_PATH);
        return std::wstring(wide);
    };
    std::wstring ansiFolder = widen(folder);
    std::wstring cyrillic = widen(folder.substr(0, folder.rfind('\\'))) +
                            L"\\\u041C\u0435\u043B\u0432\u043E\u043A\u0441 e2e";
    ASSERT_TRUE(MoveFileW(ansiFolder.c_str(), cyrillic.c_str()));
    char shown[MAX_PATH];
    WideCharToMultiByte(CP_ACP, 0, cyrillic.c_str(), -1, shown, MAX_PATH, NULL, NULL);
    ASSERT_NE(nullptr, strchr(shown, '?'));

    // Setup in the folder, then the uninstall started from elsewhere; in a
    // function of its own, so that the folder gets its name back whatever
    // fails.
    auto refused = [&](const char *caption, const wchar_t *arguments, const wchar_t *directory) {
        SCOPED_TRACE(caption);
        std::wstring command = L"\"" + cyrillic + L"\\uninstall.exe\"" + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started;
        ASSERT_TRUE(CreateProcessW(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, directory,
                                   &startup, &started));
        CloseHandle(started.hThread);
        Process process;
        process.handle = started.hProcess;
        process.pid = started.dwProcessId;
        HWND box = WaitForDialog(caption, process.pid);
        ASSERT_NE(nullptr, box);
        EXPECT_EQ("Melvox cannot be set up or removed from the folder " + std::string(shown) +
                      "\nIts name uses characters outside the system's code page. "
                      "Please use a folder whose name has none of them.",
                  MessageBoxText(box));
        Press(box, IDOK);
        EXPECT_EQ(0u, process.Wait(10000));
    };
    refused("Melvox Setup", L" /setup", cyrillic.c_str());
    refused(kCaption, L"", L"C:\\");
    ASSERT_TRUE(MoveFileW(cyrillic.c_str(), ansiFolder.c_str()));
    EXPECT_EQ(before, State());
    EXPECT_FALSE(FileExists(ScriptPath()));
    EXPECT_EQ("", ScriptsLeft());
}

// CTest runs some cases again under another locale of Wine and names the
// code page that the processes must then have.
void ExpectCodePageOfTheRun()
{
    printf("code pages: ANSI %u, OEM %u\n", GetACP(), GetOEMCP());
    if (const char *expected = getenv("MELVOX_EXPECTED_CODE_PAGE")) {
        ASSERT_EQ(strtoul(expected, NULL, 10), GetACP());
        ASSERT_EQ(strtoul(expected, NULL, 10), GetOEMCP());
    }
}

// An install folder with letters beyond ASCII ("Jörg", "€"), named in the
// code page the process has. CTest runs this case a second time with
// Windows' UTF-8 setting (ANSI and OEM code page 65001, through a
// Unicode-only locale of Wine): the script must be written and run there
// too, not give way to "delete manually".
TEST_F(EndToEnd, NonAsciiFolderGoesInTheSystemsCodePages)
{
    ExpectCodePageOfTheRun();
    char tag[MAX_PATH];
    ASSERT_NE(0, WideCharToMultiByte(CP_ACP, 0, L"e2e J\u00F6rg \u20AC", -1, tag, MAX_PATH, NULL, NULL));
    MakeSetUpInstall(tag, true);
    Process process;
    HWND box = StartAndConfirm(&process);
    ASSERT_NE(nullptr, box);
    Press(box, IDYES);
    EXPECT_EQ(0u, process.Wait(15000)) << "the uninstall did not end (a warning?)";
    EXPECT_EQ("", MelvoxKeysLeft());
    EXPECT_TRUE(WaitUntilGone(folder, 12000)) << ListTree(folder);
    EXPECT_TRUE(WaitForScriptsGone(3000)) << ScriptsLeft();
}

// The visible dialog of the process other than known: the Completion
// dialog after the Setup dialog, whatever language its buttons speak.
HWND WaitForOtherDialog(DWORD pid, HWND known)
{
    for (int i = 0; i < (int)Patience(300); i++, Sleep(50)) {
        HWND found = NULL;
        while ((found = FindWindowExA(NULL, found, "#32770", NULL)) != NULL) {
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            if (owner == pid && found != known && IsWindowVisible(found))
                return found;
        }
    }
    return NULL;
}

std::string Ansi(const wchar_t *text)
{
    char ansi[MAX_PATH];
    return WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, MAX_PATH, NULL, NULL) ? ansi : "";
}

// The real setup in install with every box checked, through to its end;
// Done opens the program group's folder window, which is closed, or with
// groupWindow false, opens none.
void SetUpWithEveryBox(const std::string &program, const std::string &install, bool groupWindow = true)
{
    Process setup;
    ASSERT_TRUE(setup.Start("\"" + program + "\" /setup", install));
    HWND dialog = WaitForDialog(NULL, setup.pid);
    ASSERT_NE(nullptr, dialog);
    // Shown only once WM_INITDIALOG has set the stored choices.
    for (int i = 0; i < 200 && !IsWindowVisible(dialog); i++)
        Sleep(50);
    for (int id = IDC_ASSOC_MVX; id <= IDC_SHELLEXT; id++)
        SetChecked(dialog, id, true);
    Press(dialog, IDOK);
    HWND done = WaitForOtherDialog(setup.pid, dialog);
    ASSERT_NE(nullptr, done);
    EXPECT_EQ(install, ControlText(done, IDC_FOLDER));
    Press(done, IDOK);
    EXPECT_EQ(0u, setup.Wait(15000));
    if (groupWindow)
        EXPECT_TRUE(CloseOtherWindow("Melvox", 15000, true)) << "no program group window";
    else
        EXPECT_FALSE(CloseOtherWindow("Melvox", 3000, true)) << "a window opened for the group";
}

// East Asian Windows: ANSI code page 932, 936 or 950, where the trail byte
// of many characters is 0x5C, the backslash. CTest runs this case under
// each of them (a locale of Wine); a single-byte code page has nothing to
// show here. The real setup and uninstall of a folder whose last character
// ends in 0x5C, with such characters in the listed names: archives open
// with Melvox, every link leads to its file, and afterwards nothing of
// Melvox is left, while files beside the folder named as if its separator
// were missing stay. Under 932 the Japanese module names the links.
TEST_F(EndToEnd, DoubleByteFolderSetUpAndRemovedWhole)
{
    ASSERT_NO_FATAL_FAILURE(ExpectCodePageOfTheRun());
    struct { UINT codePage; const wchar_t *folder, *names[6]; } pages[] = {
        {932, L"Melvox \u8868", {L"\u8868", L"\u8868\\data.txt", L"\u30BD\u30D5\u30C8.txt", L"\u80FD",
                                L"\u80FD\\\u5341.txt", L"\u30BD.."}},
        {950, L"Melvox \u529F", {L"\u529F", L"\u529F\\data.txt", L"\u8A31\u53EF.txt", L"\u8A31",
                                L"\u8A31\\\u529F.txt", L"\u529F.."}},
        {936, L"Melvox \u4E57", {L"\u4E57", L"\u4E57\\data.txt", L"\u6DFA.txt", L"\u6DFA",
                                L"\u6DFA\\\u4E57.txt", L"\u4E57.."}},
    };
    auto page = std::find_if(std::begin(pages), std::end(pages), [](const auto &p) { return p.codePage == GetACP(); });
    if (page == std::end(pages))
        GTEST_SKIP() << "not a double-byte code page";
    RemoveAllMelvoxKeys();
    RegSetString(HKEY_CLASSES_ROOT, ".zip", "", "WinZipper.Zip");
    links[0] = setuptest::DesktopLink();
    links[1] = setuptest::StartMenuLink();
    links[2] = setuptest::ProgramGroup();
    std::string parent = MakeProgramFilesFolder("e2e-dbcs");
    std::string name = Ansi(page->folder);
    ASSERT_EQ('\\', name.back()) << "the folder's last character must end in 0x5C";
    folder = parent; // all of it goes at the end
    std::string install = parent + "\\" + name;
    ASSERT_TRUE(CreateDirectoryA(install.c_str(), NULL));
    program = Join(install, "uninstall.exe");
    ASSERT_TRUE(CopyFileTo(ProgramExe(), program));
    ASSERT_TRUE(CopyFileTo(BuiltFile("samples/stubs/Melvox.exe"), Join(install, "Melvox.exe")));
    std::string list = "Melvox.exe\r\n";
    for (const char *file : {"Melvox.hlp", "Mvx.txt", "license.txt", "Formats", "Formats\\zip.fmt"}) {
        LayOut(install, {{strchr(file, '.') ? std::string(file) : std::string(file) + "\\"}});
        list += std::string(file) + "\r\n";
    }
    for (const wchar_t *wide : page->names) {
        std::string entry = Ansi(wide);
        // "ソ.." names the file "ソ": the system drops trailing dots.
        LayOut(install, {{wcschr(wide, L'.') || wcschr(wide, L'\\') ? entry : entry + "\\"}});
        list += entry + "\r\n";
    }
    const bool japanese = page->codePage == 932;
    std::string helpLink = "Melvox help", manualLink = "Console MVX manual";
    if (japanese) {
        std::string module = BuiltFile("samples/lang-ja/mvxlng.dll");
        ASSERT_TRUE(CopyFileTo(module, Join(install, "mvxlng.dll")));
        list += "mvxlng.dll\r\n";
        HMODULE texts = LoadLibraryExA(module.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        char text[256];
        helpLink = LoadStringA(texts, IDS_HELPLINK, text, sizeof text) > 0 ? text : "";
        manualLink = LoadStringA(texts, IDS_MANUALLINK, text, sizeof text) > 0 ? text : "";
        FreeLibrary(texts);
        ASSERT_NE(std::string::npos, manualLink.find("\x83\x5C")) << "no ソ in the manual's link name";
    }
    ASSERT_TRUE(WriteFileText(Join(install, "Uninstall.lst"), list));
    // Beside the folder: what its files would be named without the backslash.
    const std::string decoys[] = {parent + "\\" + name + "license.txt", parent + "\\" + name + "Formats\\zip.fmt",
                                  parent + "\\" + name + Ansi(page->names[2])};
    CreateDirectoryA((parent + "\\" + name + "Formats").c_str(), NULL);
    for (const std::string &decoy : decoys)
        ASSERT_TRUE(WriteFileText(decoy, "decoy")) << decoy;

    ASSERT_NO_FATAL_FAILURE(SetUpWithEveryBox(program, install));

    const std::string melvox = install + "\\Melvox.exe";
    std::string value;
    RegReadString(HKEY_CLASSES_ROOT, "Melvox\\shell\\open\\command", "", &value);
    EXPECT_EQ("\"" + melvox + "\" \"%1\"", value);
    RegReadString(HKEY_CLASSES_ROOT, "Melvox\\DefaultIcon", "", &value);
    EXPECT_EQ(melvox + ",0", value);
    RegReadString(HKEY_CLASSES_ROOT, "CLSID\\{6F3A9C21-5D47-4E8B-B2C9-1A7E03D5F846}\\InProcServer32", "", &value);
    EXPECT_EQ(install + "\\mvxext.dll", value);
    std::string archive = install + "\\" + Ansi(page->names[0]) + "\\sample.mvx", shown;
    ASSERT_TRUE(WriteFileText(archive, "MVX"));
    EXPECT_TRUE((INT_PTR)ShellExecuteA(NULL, "open", archive.c_str(), NULL, NULL, SW_SHOWNORMAL) > 32 &&
                CloseMelvox(&shown) && shown.find("\"" + archive + "\"") != std::string::npos)
        << "opening an archive started no Melvox: " << shown;
    DeleteFileA(archive.c_str());
    struct { std::string link, target; } made[] = {
        {links[0], melvox}, {links[1], melvox}, {links[2] + "\\Melvox.lnk", melvox},
        {links[2] + "\\" + helpLink + ".lnk", install + "\\Melvox.hlp"},
        {links[2] + "\\" + manualLink + ".lnk", install + "\\Mvx.txt"},
    };
    for (const auto &m : made) {
        setuptest::LinkInfo info;
        EXPECT_TRUE(setuptest::ReadLink(m.link, &info)) << m.link;
        EXPECT_EQ(m.target, info.target) << m.link;
        EXPECT_TRUE(FileExists(info.target)) << m.link;
    }

    Process process;
    ASSERT_TRUE(process.Start("\"" + program + "\"", "C:\\"));
    HWND box = WaitForDialog(NULL, process.pid);
    ASSERT_NE(nullptr, box);
    Press(box, IDYES);
    EXPECT_EQ(0u, process.Wait(15000)) << "the uninstall did not end (a message?)";
    EXPECT_EQ("", MelvoxKeysLeft());
    RegReadString(HKEY_CLASSES_ROOT, ".zip", "", &value);
    EXPECT_EQ("WinZipper.Zip", value);
    std::string shortcuts = ShortcutState();
    EXPECT_EQ(std::string::npos, shortcuts.find(" here")) << shortcuts;
    EXPECT_TRUE(WaitUntilGone(install, 12000)) << ListTree(install);
    EXPECT_TRUE(WaitForScriptsGone(3000)) << ScriptsLeft();
    for (const std::string &decoy : decoys) {
        std::string bytes;
        EXPECT_TRUE(ReadFileText(decoy, &bytes) && bytes == "decoy") << decoy;
    }
}


// Runs a program of the host, given by its name in /bin, in directory.
// Wine starts it without a process to wait for: the caller waits for what
// it makes. (Wine 8's CreateSymbolicLinkW makes nothing.)
void RunOnHost(const std::wstring &command, const std::wstring &directory, const std::wstring &waitFor,
               bool gone = false)
{
    std::wstring line = L"Z:\\bin\\" + command;
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION started = {};
    CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, directory.c_str(), &startup, &started);
    for (int i = 0; i < 100 && (GetFileAttributesW(waitFor.c_str()) == INVALID_FILE_ATTRIBUTES) != gone; i++)
        Sleep(50);
}

// The host's name of a path, quoted for a host command line.
std::wstring OnHost(const std::string &path)
{
    typedef char *(CDECL * UnixNameCall)(LPCWSTR);
    UnixNameCall unixName = (UnixNameCall)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                                  "wine_get_unix_file_name");
    char *name = unixName ? unixName(Wide(path).c_str()) : NULL;
    if (name == NULL)
        return L"";
    std::wstring wide(strlen(name), L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, name, -1, &wide[0], (int)wide.size() + 1) - 1);
    HeapFree(GetProcessHeap(), 0, name);
    return L"\"" + wide + L"\"";
}

// A user whose folders are named outside the ANSI code page (Cyrillic on
// 1252): the shell's folders lie below "...\Дмитрий", whose ANSI name is
// "???????". Setup with every box checked makes the five links there, the
// uninstall removes them and the group, and the same layout below
// "Dmitrij", which '?' matches, stays. So it does when the uninstall's
// step finds a folder link to it in the group, or the group replaced by
// one: a link is never entered. Links planted before setup are replaced,
// never written through: the desktop's link name as a symbolic link and
// the start menu's as a hard link to decoys, the group as a folder link
// (setup then makes no group and opens nothing); and the uninstall
// neither clears nor deletes through melvox.gid, a link to a read-only
// decoy, nor through a folder link inside the install folder.
TEST_F(EndToEnd, ShortcutsInUserFoldersNamedOutsideTheCodePage)
{
    const std::string root = MakeTempFolder("e2e-users"), other = root + "\\Dmitrij";
    const std::wstring user = Wide(root) + L"\\\u0414\u043C\u0438\u0442\u0440\u0438\u0439";
    if (Ansi(user.c_str()).find('?') == std::string::npos)
        GTEST_SKIP() << "the code page has these letters";
    const std::wstring desktop = user + L"\\Desktop", startMenu = user + L"\\Start Menu",
                       programs = startMenu + L"\\Programs", group = programs + L"\\Melvox";
    for (const std::wstring &made : {user, desktop, startMenu, programs})
        ASSERT_TRUE(CreateDirectoryW(made.c_str(), NULL));
    CreateDirectoryA(other.c_str(), NULL);
    LayOut(other, {{"Desktop\\"}, {"Desktop\\Melvox.lnk"}, {"Start Menu\\"}, {"Start Menu\\Melvox.lnk"},
                   {"Start Menu\\Programs\\"}, {"Start Menu\\Programs\\Melvox\\"},
                   {"Start Menu\\Programs\\Melvox\\Melvox.lnk"}, {"help.gid", FILE_ATTRIBUTE_READONLY}});
    auto decoyState = [&] {
        std::string state = ListTree(other), bytes;
        for (const char *name : {"Desktop\\Melvox.lnk", "Start Menu\\Melvox.lnk",
                                 "Start Menu\\Programs\\Melvox\\Melvox.lnk", "help.gid"}) {
            ReadFileText(Join(other, name), &bytes);
            state += std::string(name) + " " + std::to_string(GetFileAttributesA(Join(other, name).c_str())) +
                     " " + bytes + "\n";
        }
        return state;
    };
    const std::string decoys = decoyState();

    // The shell's folders moved there by UTF-16 names; put back, and the
    // tree removed without following its links, whatever fails.
    struct Value { std::string key, name; DWORD type; std::vector<unsigned char> bytes; };
    std::vector<Value> saved;
    std::shared_ptr<void> restore(nullptr, [&](void *) {
        for (const Value &v : saved)
            RegSetRaw(HKEY_CURRENT_USER, v.key, v.name, v.type, v.bytes.data(), (DWORD)v.bytes.size());
        size_t cut = root.rfind('\\');
        RunOnHost(L"rm -rf " + Wide(root.substr(cut + 1)), Wide(root.substr(0, cut)), Wide(root), true);
    });
    const std::pair<const char *, std::wstring> moved[] = {
        {"Desktop", desktop}, {"Start Menu", startMenu}, {"Programs", programs}};
    for (const char *key : {"User Shell Folders", "Shell Folders"})
        for (const auto &m : moved) {
            Value v{std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\") + key, m.first};
            ASSERT_TRUE(RegReadRaw(HKEY_CURRENT_USER, v.key, v.name, &v.type, &v.bytes)) << m.first;
            saved.push_back(v);
            HKEY opened;
            ASSERT_EQ(0, RegOpenKeyExA(HKEY_CURRENT_USER, v.key.c_str(), 0, KEY_SET_VALUE, &opened));
            RegSetValueExW(opened, Wide(m.first).c_str(), 0, REG_SZ, (const BYTE *)m.second.c_str(),
                           DWORD(m.second.size() + 1) * 2);
            RegCloseKey(opened);
        }

    RunOnHost(L"ln -s ../../Dmitrij/Desktop/Melvox.lnk Melvox.lnk", desktop, desktop + L"\\Melvox.lnk");
    RunOnHost(L"ln \"../../Dmitrij/Start Menu/Melvox.lnk\" Melvox.lnk", startMenu, startMenu + L"\\Melvox.lnk");
    RunOnHost(L"ln -s \"../../../Dmitrij/Start Menu/Programs/Melvox\" Melvox", programs, group);
    ASSERT_EQ(0x410u, GetFileAttributesW(group.c_str())) << "no folder link";

    RemoveAllMelvoxKeys();
    folder = MakeInstall("e2e-users", true);
    program = Join(folder, "uninstall.exe");
    const std::wstring made[] = {desktop + L"\\Melvox.lnk", startMenu + L"\\Melvox.lnk",
                                 group + L"\\Melvox.lnk", group + L"\\Melvox help.lnk",
                                 group + L"\\Console MVX manual.lnk"};
    const char *targets[] = {"Melvox.exe", "Melvox.exe", "Melvox.exe", "Melvox.hlp", "Mvx.txt"};
    ASSERT_NO_FATAL_FAILURE(SetUpWithEveryBox(program, folder, false));
    EXPECT_EQ(decoys, decoyState());
    EXPECT_EQ(0x410u, GetFileAttributesW(group.c_str()));
    for (int i = 0; i < 2; i++) {
        setuptest::LinkInfo info;
        EXPECT_TRUE(setuptest::ReadLink(made[i], &info) && info.target == Join(folder, targets[i]));
    }
    RunOnHost(L"rm Melvox", programs, group, true);
    ASSERT_NO_FATAL_FAILURE(SetUpWithEveryBox(program, folder));
    for (int i = 0; i < 5; i++) {
        setuptest::LinkInfo info;
        EXPECT_TRUE(setuptest::ReadLink(made[i], &info)) << targets[i];
        EXPECT_EQ(Join(folder, targets[i]), info.target);
    }
    DeleteFileA(Join(folder, "melvox.gid").c_str());
    RunOnHost(L"ln -s " + OnHost(Join(other, "help.gid")) + L" melvox.gid", Wide(folder),
              Wide(Join(folder, "melvox.gid")));
    std::string linkedBytes;
    ASSERT_TRUE(ReadFileText(Join(folder, "melvox.gid"), &linkedBytes) && linkedBytes == "content of help.gid");
    Process process;
    HWND box = StartAndConfirm(&process);
    ASSERT_NE(nullptr, box);
    Press(box, IDYES);
    EXPECT_EQ(0u, process.Wait(15000)) << "the uninstall did not end (a message?)";
    for (const std::wstring &gone : {made[0], made[1], group})
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(gone.c_str())) << Ansi(gone.c_str());
    EXPECT_EQ(decoys, decoyState());
    EXPECT_TRUE(WaitUntilGone(folder, 12000)) << ListTree(folder);

    // The uninstall's step on its own: links made on the host's side.
    ASSERT_TRUE(CreateDirectoryW(group.c_str(), NULL));
    RunOnHost(L"ln -s ../../../../Dmitrij inside", group, group + L"\\inside");
    ASSERT_EQ(0x410u, GetFileAttributesW((group + L"\\inside").c_str())) << "no folder link";
    RemoveShortcuts();
    RunOnHost(L"rm -rf Melvox", programs, group, true);
    RunOnHost(L"ln -s ../../../Dmitrij Melvox", programs, group);
    ASSERT_EQ(0x410u, GetFileAttributesW(group.c_str())) << "no folder link";
    RemoveShortcuts();
    EXPECT_EQ(decoys, decoyState());

    // A listed entry below a folder link inside the install folder stays
    // and is named; the rest of the list goes.
    const std::string linked = MakeTempFolder("e2e-linked");
    RunOnHost(L"ln -s " + OnHost(Join(other, "Start Menu")) + L" sub", Wide(linked), Wide(Join(linked, "sub")));
    LayOut(linked, {{"own\\"}, {"own\\x.txt"}});
    HeldFiles named = {};
    RemoveWithList(linked + "\\", "own\\x.txt\nsub\\Melvox.lnk\nsub\\Programs\\Melvox\\Melvox.lnk\nown\n", &named);
    EXPECT_FALSE(Exists(linked, "own"));
    EXPECT_EQ(2, named.count);
    EXPECT_EQ(Join(linked, "sub\\Melvox.lnk"), named.count ? named.names : "");
    FreeHeldFiles(&named);
    EXPECT_EQ(decoys, decoyState());
    RunOnHost(L"rm sub", Wide(linked), Wide(Join(linked, "sub")), true);
    RemoveTree(linked);
}

} // namespace

namespace {

// The race of the program group's removal, made deterministic at the
// walk's hook: each time the walk has entered a folder, a second process
// tries to rename that folder away, and where that works a link to the
// decoy is put at its name. Held, no folder can be renamed, the group goes
// and the decoy stays; let go, the renames go through, so the check would
// catch a walk that held nothing.
std::wstring g_raceDecoy;
int g_raceRenames;

void RaceTheWalk(HANDLE folder)
{
    typedef DWORD(WINAPI * FinalPathCall)(HANDLE, LPWSTR, DWORD, DWORD);
    FinalPathCall finalPath = (FinalPathCall)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                                    "GetFinalPathNameByHandleW");
    WCHAR path[MAX_PATH];
    DWORD n = finalPath ? finalPath(folder, path, MAX_PATH, 0) : 0;
    ASSERT_TRUE(n > 4 && n < MAX_PATH);
    const std::wstring name(path + 4), moved = name + L".moved"; // after "\\?\"
    std::wstring line = L"C:\\windows\\system32\\cmd.exe /c move \"" + name + L"\" \"" + moved + L"\"";
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION started = {};
    ASSERT_TRUE(CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, NULL, &startup, &started));
    WaitForSingleObject(started.hProcess, 15000);
    CloseHandle(started.hProcess);
    CloseHandle(started.hThread);
    if (GetFileAttributesW(moved.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    g_raceRenames++;
    RunOnHost(L"ln -s " + g_raceDecoy + L" " + OnHost(Ansi(name.c_str())), L"C:\\", name);
}

TEST_F(EndToEnd, GroupFoldersHeldWhileTheWalkRemovesThem)
{
    const std::string programs = SpecialFolder(CSIDL_PROGRAMS), group = Join(programs, "Melvox");
    const std::string decoy = MakeTempFolder("e2e-race");
    LayOut(decoy, {{"Melvox.lnk"}, {"inner\\"}, {"inner\\keep.txt"}});
    const std::string decoys = ListTree(decoy);
    g_raceDecoy = OnHost(decoy);
    for (bool letGo : {false, true}) {
        SCOPED_TRACE(letGo ? "let go" : "held");
        CreateDirectoryA(group.c_str(), NULL);
        LayOut(group, {{"Melvox.lnk"}, {"inner\\"}, {"inner\\deeper\\"}, {"inner\\deeper\\x.txt"}});
        g_raceRenames = 0;
        g_letGoOfFolders = letGo;
        g_heldFolderHook = RaceTheWalk;
        RemoveShortcuts();
        g_heldFolderHook = NULL;
        g_letGoOfFolders = false;
        if (letGo) {
            EXPECT_GT(g_raceRenames, 0) << "the race never won: it proves nothing";
            printf("renames won without the hold: %d\n", g_raceRenames);
        } else {
            EXPECT_EQ(0, g_raceRenames);
            EXPECT_FALSE(FolderExists(group)) << ListTree(group);
            EXPECT_EQ(decoys, ListTree(decoy));
        }
    }
    // What the won race left: the links and the renamed folders.
    RunOnHost(L"rm -rf Melvox Melvox.moved", Wide(programs), Wide(group + ".moved"), true);
    for (int i = 0; i < 100 && FolderExists(group); i++)
        Sleep(50);
    RemoveTree(decoy);
}

} // namespace
