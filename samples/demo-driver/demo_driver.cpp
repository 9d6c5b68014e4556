// demo_driver.exe: plays the user's part for scripts/demo.sh and reports
// what setup and uninstall left behind.
//
//   demo_driver setup FOLDER SHOTS [/manual] [/via COMMAND] [/before FILE]
//       starts FOLDER\uninstall.exe /setup in FOLDER; saves the Setup and
//       Completion dialogs as SHOTS\setup-dialog.bmp and
//       SHOTS\completion-dialog.bmp and presses OK, then Done. With
//       /manual it only waits for a person to finish.
//   demo_driver uninstall FOLDER SHOTS [/manual] [/via COMMAND]
//       starts FOLDER\uninstall.exe without options; saves the
//       confirmation box as SHOTS\confirmation.bmp and answers Yes; then
//       waits up to 20 s for the cleanup script to remove the program file
//       and the folder.
//   demo_driver report FOLDER
//       one line per registry key and value that setup writes and per
//       shortcut and install file, for the demo's before/after report.
//   demo_driver codepages
//       "ANSI <n>, OEM <n>": the code pages of the prefix's programs.
//
//   /via COMMAND  start COMMAND instead (an installer that runs
//                 "uninstall.exe /setup" itself, or the system's uninstall
//                 tool), find the dialogs of whichever process shows them
//                 and wait for COMMAND to end
//   /before FILE  when the Setup dialog shows, write the report into FILE:
//                 the install as the installer left it, before setup
//
// Dialogs are recognised by their controls, not their captions, so the
// driver works with any language module. Everything it prints is UTF-8,
// converted from the system's ANSI code page (932 in a Japanese prefix).
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int kShellExtBox = 5109;  // only in the Setup dialog
const int kThanksLine = 5107;   // in the Completion dialog (and a Setup box)
const int kFolderText = 5101;

enum Kind { SETUP_DIALOG, COMPLETION_DIALOG, MESSAGE_BOX };

struct Search {
    DWORD pid;
    Kind kind;
    HWND found;
};

bool IsKind(HWND window, Kind kind)
{
    switch (kind) {
    case SETUP_DIALOG:
        return GetDlgItem(window, kShellExtBox) != NULL;
    case COMPLETION_DIALOG:
        return GetDlgItem(window, kThanksLine) != NULL && GetDlgItem(window, kShellExtBox) == NULL;
    case MESSAGE_BOX:
        return GetDlgItem(window, 0xFFFF) != NULL &&
               (GetDlgItem(window, IDYES) != NULL || GetDlgItem(window, IDOK) != NULL);
    }
    return false;
}

BOOL CALLBACK FindProc(HWND window, LPARAM param)
{
    Search *search = reinterpret_cast<Search *>(param);
    char cls[16] = "";
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    GetClassNameA(window, cls, sizeof cls);
    if ((search->pid == 0 || pid == search->pid) && lstrcmpA(cls, "#32770") == 0 &&
        IsWindowVisible(window) && IsKind(window, search->kind)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A wait as long as this machine needs: times MELVOX_WAIT_FACTOR, which a
// slower machine (an emulated PC) sets.
DWORD Patient(DWORD milliseconds)
{
    char text[32] = "";
    GetEnvironmentVariableA("MELVOX_WAIT_FACTOR", text, sizeof text);
    double factor = atof(text);
    if (factor < 1 || milliseconds == INFINITE)
        return milliseconds;
    return (DWORD)(milliseconds * factor);
}

// Gives up early when the process watched has ended (it started nothing
// that shows the dialog).
HWND WaitFor(DWORD pid, Kind kind, DWORD milliseconds, HANDLE watched = NULL)
{
    milliseconds = Patient(milliseconds);
    for (DWORD waited = 0; waited < milliseconds; waited += 100) {
        Search search = {pid, kind, NULL};
        EnumWindows(FindProc, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        if (watched && WaitForSingleObject(watched, 0) == WAIT_OBJECT_0)
            return NULL;
        Sleep(100);
    }
    return NULL;
}

DWORD OwnerOf(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

// Text in the ANSI code page as UTF-8, for the demo's terminal and report.
std::string Utf8(const std::string &ansi)
{
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), (int)ansi.size(), NULL, 0);
    if (n <= 0)
        return ansi;
    std::vector<wchar_t> wide((size_t)n);
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), (int)ansi.size(), wide.data(), n);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, NULL, 0, NULL, NULL);
    std::string out((size_t)bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, &out[0], bytes, NULL, NULL);
    return out;
}

// A window's text, as UTF-8.
std::string TextOf(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return Utf8(text);
}

// What the screen shows of the window, as a 24-bit BMP.
bool SaveBitmap(HWND window, const std::string &path)
{
    SetForegroundWindow(window);
    RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Sleep(400);
    RECT r;
    if (!GetWindowRect(window, &r))
        return false;
    int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    DWORD stride = ((DWORD)width * 3 + 3) & ~3u;
    std::vector<char> pixels(stride * (DWORD)height);
    int rows = GetDIBits(memory, bitmap, 0, (UINT)height, pixels.data(),
                         reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    if (rows != height)
        return false;

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + (DWORD)pixels.size();
    info.biSizeImage = (DWORD)pixels.size();
    FILE *out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info, sizeof info, 1, out);
    std::fwrite(pixels.data(), 1, pixels.size(), out);
    return std::fclose(out) == 0;
}

void Shot(HWND window, const std::string &shots, const char *name)
{
    std::string path = shots + "\\" + name;
    if (SaveBitmap(window, path))
        std::printf("  screenshot %s\n", name);
    else
        std::printf("  (could not save %s)\n", name);
}

struct FolderSearch {
    DWORD skipPid;
    HWND found;
    char cls[64];
};

BOOL CALLBACK FindFolderWindow(HWND window, LPARAM param)
{
    FolderSearch *search = reinterpret_cast<FolderSearch *>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char title[256] = "", cls[64] = "";
    GetWindowTextA(window, title, sizeof title);
    GetClassNameA(window, cls, sizeof cls);
    if (pid != search->skipPid && IsWindowVisible(window) && lstrcmpA(cls, "#32770") != 0 &&
        strstr(title, "Melvox") != NULL) {
        search->found = window;
        lstrcpynA(search->cls, cls, sizeof search->cls);
        return FALSE;
    }
    return TRUE;
}

// Done opens the program group in a shell window. Under Wine that is a new
// explorer.exe whose current directory is setup's, the install folder,
// which then cannot be removed while it runs: close it, as a user would.
void CloseFolderWindow(DWORD setupPid)
{
    for (DWORD i = 0; i < Patient(50); i++) {
        FolderSearch search = {setupPid, NULL, ""};
        EnumWindows(FindFolderWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            std::printf("  the program group opened in a folder window \"%s\"; closed it\n",
                        TextOf(search.found).c_str());
            PostMessageA(search.found, WM_CLOSE, 0, 0);
            return;
        }
        Sleep(100);
    }
    std::printf("  no program group window appeared\n");
}

bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct Child {
    PROCESS_INFORMATION pi = {};
    bool Start(const std::string &commandLine, const std::string &directory)
    {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        std::vector<char> line(commandLine.begin(), commandLine.end());
        line.push_back('\0');
        if (!CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, directory.c_str(), &si, &pi)) {
            std::printf("  cannot start %s (error %lu)\n", Utf8(commandLine).c_str(),
                        (unsigned long)GetLastError());
            return false;
        }
        return true;
    }
    DWORD Finish(DWORD milliseconds)
    {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(pi.hProcess, Patient(milliseconds)) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &code);
        else
            TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        return code;
    }
};

struct Options {
    bool manual = false;
    std::string via;    // the command that starts uninstall.exe, or empty
    std::string before; // where to write the report before setup, or empty
};

void PrintExit(const char *name, DWORD code)
{
    if (code == STILL_ACTIVE)
        std::printf("  %s did not end in time; stopped it\n", name);
    else
        std::printf("  %s ended with exit code %lu\n", name, (unsigned long)code);
}

int Report(const std::string &folder, FILE *out);

// Writes the report of the install as the installer left it.
void SnapshotBefore(const std::string &folder, const std::string &path)
{
    FILE *out = std::fopen(path.c_str(), "wb");
    if (!out) {
        std::printf("  (cannot write %s)\n", Utf8(path).c_str());
        return;
    }
    Report(folder, out);
    std::fclose(out);
}

int RunSetup(const std::string &folder, const std::string &shots, const Options &options)
{
    Child child;
    bool direct = options.via.empty();
    const char *name = direct ? "uninstall.exe" : "the installer";
    // An installer starts in a folder that exists before it runs.
    if (!child.Start(direct ? "\"" + folder + "\\uninstall.exe\" /setup" : options.via,
                     direct ? folder : "C:\\"))
        return 1;
    // Started by an installer, setup is its child: any process's dialog.
    DWORD pid = direct ? child.pi.dwProcessId : 0;
    HWND setup = NULL;
    if (!options.before.empty() || !options.manual) {
        setup = WaitFor(pid, SETUP_DIALOG, 60000, child.pi.hProcess);
        if (!setup) {
            std::printf("  the Setup dialog did not appear\n");
            child.Finish(0);
            return 1;
        }
        if (!direct)
            std::printf("  %s started uninstall.exe /setup and waits for it\n", name);
        if (!options.before.empty())
            SnapshotBefore(folder, options.before);
    }
    if (options.manual) {
        std::printf("  waiting for you to finish setup...\n");
        PrintExit(name, child.Finish(INFINITE));
        return 0;
    }
    DWORD setupPid = OwnerOf(setup);
    std::printf("  Setup dialog \"%s\" is open\n", TextOf(setup).c_str());
    Shot(setup, shots, "setup-dialog.bmp");
    PostMessageA(setup, WM_COMMAND, IDOK, 0);
    std::printf("  pressed OK\n");
    HWND done = WaitFor(setupPid, COMPLETION_DIALOG, 20000);
    if (!done) {
        std::printf("  the Completion dialog did not appear\n");
        child.Finish(0);
        return 1;
    }
    std::printf("  Completion dialog shows the folder \"%s\"; the Setup dialog is %s\n",
                TextOf(GetDlgItem(done, kFolderText)).c_str(),
                IsWindowVisible(setup) ? "still visible" : "hidden");
    Shot(done, shots, "completion-dialog.bmp");
    PostMessageA(done, WM_COMMAND, IDOK, 0);
    std::printf("  pressed %s\n", TextOf(GetDlgItem(done, IDOK)).c_str());
    DWORD code = child.Finish(20000);
    PrintExit(name, code);
    CloseFolderWindow(setupPid);
    return code == 0 ? 0 : 1;
}

int RunUninstall(const std::string &folder, const std::string &shots, const Options &options)
{
    std::string program = folder + "\\uninstall.exe";
    bool direct = options.via.empty();
    const char *name = direct ? "uninstall.exe" : "the uninstall tool";
    Child child;
    // Started from elsewhere, as the list of installed programs does.
    if (!child.Start(direct ? "\"" + program + "\"" : options.via, "C:\\"))
        return 1;
    DWORD code;
    if (options.manual) {
        std::printf("  waiting for you to answer...\n");
        code = child.Finish(INFINITE);
    } else {
        HWND box = WaitFor(direct ? child.pi.dwProcessId : 0, MESSAGE_BOX, 20000, child.pi.hProcess);
        if (!box) {
            std::printf("  the confirmation did not appear%s\n",
                        direct ? "" : ": the tool started no uninstall.exe");
            child.Finish(0);
            return 1;
        }
        std::printf("  confirmation \"%s\": \"%s\"\n", TextOf(box).c_str(),
                    TextOf(GetDlgItem(box, 0xFFFF)).c_str());
        Shot(box, shots, "confirmation.bmp");
        PostMessageA(box, WM_COMMAND, IDYES, 0);
        std::printf("  answered %s\n", TextOf(GetDlgItem(box, IDYES)).c_str());
        code = child.Finish(30000);
    }
    PrintExit(name, code);
    // The cleanup script waits for the program to end, then removes it.
    DWORD waited = 0;
    while ((Exists(program) || Exists(folder)) && waited < 20000) {
        HWND warning = WaitFor(0, MESSAGE_BOX, 0);
        if (warning && GetDlgItem(warning, IDYES) == NULL) {
            std::printf("  warning \"%s\": \"%s\"\n", TextOf(warning).c_str(),
                        TextOf(GetDlgItem(warning, 0xFFFF)).c_str());
            PostMessageA(warning, WM_COMMAND, IDOK, 0);
        }
        Sleep(250);
        waited += 250;
    }
    std::printf("  after %.1f s: program file %s, install folder %s\n", waited / 1000.0,
                Exists(program) ? "still there" : "gone", Exists(folder) ? "still there" : "gone");
    return code == 0 ? 0 : 1;
}

// ---- report ----

const char *RootName(HKEY root)
{
    return root == HKEY_CLASSES_ROOT ? "HKCR" : root == HKEY_CURRENT_USER ? "HKCU" : "HKLM";
}

std::string ValueText(DWORD type, const std::vector<unsigned char> &data, DWORD size)
{
    char buffer[16];
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::string s(reinterpret_cast<const char *>(data.data()), size);
        while (!s.empty() && s.back() == '\0')
            s.pop_back();
        return "\"" + s + "\"";
    }
    if (type == REG_DWORD && size == 4) {
        DWORD n;
        memcpy(&n, data.data(), 4);
        std::snprintf(buffer, sizeof buffer, "%lu", (unsigned long)n);
        return std::string("dword ") + buffer;
    }
    std::string s = "binary";
    for (DWORD i = 0; i < size; i++) {
        std::snprintf(buffer, sizeof buffer, " %02X", data[i]);
        s += buffer;
    }
    return s;
}

// The key, each of its values, then its sub-keys, depth first.
void DumpKey(FILE *out, HKEY root, const std::string &path, const char *onlyValue = NULL)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    std::string name = std::string(RootName(root)) + "\\" + path;
    if (!onlyValue)
        std::fprintf(out, "key\t%s\n", Utf8(name).c_str());
    for (DWORD i = 0;; i++) {
        char valueName[512];
        DWORD nameSize = sizeof valueName, type = 0, size = 4096;
        std::vector<unsigned char> data(size);
        if (RegEnumValueA(key, i, valueName, &nameSize, NULL, &type, data.data(), &size) != ERROR_SUCCESS)
            break;
        if (onlyValue && lstrcmpiA(valueName, onlyValue) != 0)
            continue;
        std::fprintf(out, "value\t%s\t%s\t%s\n", Utf8(name).c_str(),
                     valueName[0] ? Utf8(valueName).c_str() : "(default)",
                     Utf8(ValueText(type, data, size)).c_str());
    }
    if (!onlyValue) {
        std::vector<std::string> children;
        for (DWORD i = 0;; i++) {
            char child[512];
            DWORD size = sizeof child;
            if (RegEnumKeyExA(key, i, child, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                break;
            children.push_back(child);
        }
        for (const std::string &child : children)
            DumpKey(out, root, path + "\\" + child);
    }
    RegCloseKey(key);
}

void DumpFiles(FILE *out, const std::string &path, bool recurse)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        std::fprintf(out, "file\t%s\n", Utf8(path).c_str());
        return;
    }
    std::fprintf(out, "folder\t%s\n", Utf8(path).c_str());
    if (!recurse)
        return;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (lstrcmpA(found.cFileName, ".") && lstrcmpA(found.cFileName, ".."))
            DumpFiles(out, path + "\\" + found.cFileName, true);
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

std::string SpecialFolder(int csidl)
{
    char path[MAX_PATH] = "";
    if (FAILED(SHGetFolderPathA(NULL, csidl, NULL, 0, path)))
        return "";
    return path;
}

int Report(const std::string &folder, FILE *out)
{
    const char *clsid = "{6F3A9C21-5D47-4E8B-B2C9-1A7E03D5F846}";
    DumpKey(out, HKEY_CURRENT_USER, "Software\\Melvox");
    const char *extensions[] = {".mvx", ".zip", ".cab", ".arj", ".lzh"};
    for (const char *ext : extensions)
        DumpKey(out, HKEY_CLASSES_ROOT, ext);
    DumpKey(out, HKEY_CLASSES_ROOT, "Melvox");
    DumpKey(out, HKEY_CLASSES_ROOT, std::string("CLSID\\") + clsid);
    DumpKey(out, HKEY_CLASSES_ROOT, std::string("exefile\\shellex\\PropertySheetHandlers\\") + clsid);
    DumpKey(out, HKEY_CLASSES_ROOT, "*\\shellex\\ContextMenuHandlers\\Melvox");
    DumpKey(out, HKEY_CLASSES_ROOT, "Folder\\shellex\\ContextMenuHandlers\\Melvox");
    DumpKey(out, HKEY_CLASSES_ROOT, "Folder\\shellex\\DragDropHandlers\\Melvox");
    DumpKey(out, HKEY_CLASSES_ROOT, "Drives\\shellex\\ContextMenuHandlers\\Melvox");
    const std::string cv = "Software\\Microsoft\\Windows\\CurrentVersion\\";
    DumpKey(out, HKEY_LOCAL_MACHINE, cv + "Uninstall\\Melvox archiver");
    DumpKey(out, HKEY_LOCAL_MACHINE, cv + "App Paths\\Melvox.exe");
    DumpKey(out, HKEY_LOCAL_MACHINE, cv + "Shell Extensions\\Approved", clsid);

    std::string desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
    std::string startMenu = SpecialFolder(CSIDL_STARTMENU);
    std::string programs = SpecialFolder(CSIDL_PROGRAMS);
    if (!desktop.empty())
        DumpFiles(out, desktop + "\\Melvox.lnk", false);
    if (!startMenu.empty())
        DumpFiles(out, startMenu + "\\Melvox.lnk", false);
    if (!programs.empty())
        DumpFiles(out, programs + "\\Melvox", true);
    DumpFiles(out, folder, true);
    char temp[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, temp);
    if (n > 0 && n < MAX_PATH)
        DumpFiles(out, std::string(temp) + "Uninstall.Mvx.Bat", false);
    // The elevated uninstall's script lies in a folder of its own.
    char windows[MAX_PATH];
    n = GetSystemWindowsDirectoryA(windows, MAX_PATH);
    WIN32_FIND_DATAA found;
    std::string systemTemp = std::string(windows) + "\\Temp";
    HANDLE search = n > 0 && n < MAX_PATH ? FindFirstFileA((systemTemp + "\\Melvox-*").c_str(), &found)
                                          : INVALID_HANDLE_VALUE;
    if (search != INVALID_HANDLE_VALUE) {
        do
            DumpFiles(out, systemTemp + "\\" + found.cFileName, true);
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    std::string mode = argc > 1 ? argv[1] : "";
    Options options;
    bool usage = false;
    for (int i = 4; i < argc; i++) {
        if (lstrcmpiA(argv[i], "/manual") == 0)
            options.manual = true;
        else if (lstrcmpiA(argv[i], "/via") == 0 && i + 1 < argc)
            options.via = argv[++i];
        else if (lstrcmpiA(argv[i], "/before") == 0 && i + 1 < argc)
            options.before = argv[++i];
        else
            usage = true;
    }
    if (!usage && mode == "setup" && argc > 3)
        return RunSetup(argv[2], argv[3], options);
    if (!usage && mode == "uninstall" && argc > 3)
        return RunUninstall(argv[2], argv[3], options);
    if (mode == "report" && argc == 3)
        return Report(argv[2], stdout);
    if (mode == "codepages" && argc == 2) {
        std::printf("ANSI %u, OEM %u\n", GetACP(), GetOEMCP());
        return 0;
    }
    std::fprintf(stderr, "usage: demo_driver setup FOLDER SHOTS [/manual] [/via COMMAND] [/before FILE]\n"
                         "       demo_driver uninstall FOLDER SHOTS [/manual] [/via COMMAND]\n"
                         "       demo_driver report FOLDER\n"
                         "       demo_driver codepages\n");
    return 2;
}
