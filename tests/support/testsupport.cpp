#include "testsupport.h"

#include <shlobj.h>
#include <stdio.h>

namespace testsupport {

std::string BuildDir() { return MELVOX_BUILD_DIR; }
std::string SourceDir() { return MELVOX_SOURCE_DIR; }
std::string ProgramExe() { return BuildDir() + "\\uninstall.exe"; }

std::string BuiltFile(const std::string &relative)
{
    std::string path = BuildDir() + "\\" + relative;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string Join(const std::string &folder, const std::string &name)
{
    // By character: in a double-byte code page a trail byte may be 0x5C.
    if (!folder.empty() && *CharPrevA(folder.c_str(), folder.c_str() + folder.size()) == '\\')
        return folder + name;
    return folder + "\\" + name;
}

namespace {
std::string MakeFolderIn(const std::string &parent, const std::string &tag)
{
    const std::string base = Join(parent, "melvox-tests");
    CreateDirectoryA(base.c_str(), NULL);
    static int counter;
    char name[MAX_PATH];
    snprintf(name, sizeof name, "%s\\%s-%lu-%d", base.c_str(), tag.c_str(),
             (unsigned long)GetCurrentProcessId(), ++counter);
    RemoveTree(name);
    CreateDirectoryA(name, NULL);
    return name;
}
} // namespace

std::string MakeTempFolder(const std::string &tag)
{
    return MakeFolderIn("C:\\", tag);
}

std::string MakeProgramFilesFolder(const std::string &tag)
{
    return MakeFolderIn(SpecialFolder(CSIDL_PROGRAM_FILES), tag);
}

bool RemoveTree(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return DeleteFileA(path.c_str()) != 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(Join(path, "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name != "." && name != "..")
                RemoveTree(Join(path, name));
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return RemoveDirectoryA(path.c_str()) != 0;
}

bool WriteFileText(const std::string &path, const std::string &bytes)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

bool ReadFileText(const std::string &path, std::string *bytes)
{
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    bytes->clear();
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes->append(chunk, n);
    fclose(file);
    return true;
}

bool FileExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CopyFileTo(const std::string &from, const std::string &to)
{
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

bool Process::Start(const std::string &commandLine, const std::string &directory)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::vector<char> command(commandLine.begin(), commandLine.end());
    command.push_back('\0');
    const char *folder = directory.empty() ? NULL : directory.c_str();
    if (!CreateProcessA(NULL, command.data(), NULL, NULL, FALSE, 0, NULL, folder, &si, &pi)) {
        // Seen once in a long 64-bit run: a start refused right after the
        // same program ended. Say so, and try once more.
        fprintf(stderr, "CreateProcess failed with %lu: %s\n", GetLastError(), commandLine.c_str());
        Sleep(500);
        if (!CreateProcessA(NULL, command.data(), NULL, NULL, FALSE, 0, NULL, folder, &si, &pi))
            return false;
    }
    CloseHandle(pi.hThread);
    handle = pi.hProcess;
    pid = pi.dwProcessId;
    return true;
}

DWORD Patience(DWORD milliseconds)
{
    static double factor = 0;
    if (factor == 0) {
        char text[32] = "";
        GetEnvironmentVariableA("MELVOX_WAIT_FACTOR", text, sizeof text);
        factor = atof(text);
        if (factor < 1)
            factor = 1;
    }
    return milliseconds == INFINITE ? INFINITE : (DWORD)(milliseconds * factor);
}

DWORD Process::Wait(DWORD milliseconds)
{
    if (!handle)
        return (DWORD)-1;
    if (WaitForSingleObject(handle, Patience(milliseconds)) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = (DWORD)-1;
    GetExitCodeProcess(handle, &code);
    return code;
}

void Process::Kill()
{
    if (handle && WaitForSingleObject(handle, 0) != WAIT_OBJECT_0) {
        TerminateProcess(handle, 99);
        WaitForSingleObject(handle, 5000);
    }
}

Process::~Process()
{
    Kill();
    if (handle)
        CloseHandle(handle);
}

DWORD RunAndWait(const std::string &exe, const std::string &arguments,
                 const std::string &directory, DWORD milliseconds)
{
    Process p;
    std::string command = "\"" + exe + "\"";
    if (!arguments.empty())
        command += " " + arguments;
    if (!p.Start(command, directory))
        return (DWORD)-1;
    return p.Wait(milliseconds);
}

namespace {
struct DialogSearch {
    const char *caption;
    DWORD pid;
    const char *okText;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM param)
{
    DialogSearch *search = reinterpret_cast<DialogSearch *>(param);
    char className[64];
    if (!GetClassNameA(window, className, sizeof className) || strcmp(className, "#32770") != 0)
        return TRUE;
    if (search->caption && WindowText(window) != search->caption)
        return TRUE;
    if (search->okText && ControlText(window, IDOK) != search->okText)
        return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (search->pid != 0 && owner != search->pid)
        return TRUE;
    search->found = window;
    return FALSE;
}
} // namespace

HWND WaitForDialog(const char *caption, DWORD pid, DWORD milliseconds, const char *okText)
{
    milliseconds = Patience(milliseconds);
    DWORD start = GetTickCount();
    for (;;) {
        DialogSearch search = {caption, pid, okText, NULL};
        EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        if (GetTickCount() - start > milliseconds)
            return NULL;
        Sleep(50);
    }
}

bool WaitForWindowGone(HWND window, DWORD milliseconds)
{
    milliseconds = Patience(milliseconds);
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start > milliseconds)
            return false;
        Sleep(50);
    }
    return true;
}

namespace {
struct WindowSearch {
    DWORD ownPid;
    std::string name;
    std::vector<HWND> found;
};

BOOL CALLBACK MatchOtherWindow(HWND window, LPARAM param)
{
    WindowSearch *search = reinterpret_cast<WindowSearch *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->ownPid && IsWindowVisible(window) &&
        WindowText(window).find(search->name) != std::string::npos)
        search->found.push_back(window);
    return TRUE;
}
} // namespace

bool CloseOtherWindow(const std::string &name, DWORD ms, bool untilGone)
{
    ms = Patience(ms);
    DWORD start = GetTickCount();
    for (;;) {
        WindowSearch search = {GetCurrentProcessId(), name, {}};
        EnumWindows(MatchOtherWindow, reinterpret_cast<LPARAM>(&search));
        for (HWND window : search.found)
            PostMessageA(window, WM_CLOSE, 0, 0);
        if (!search.found.empty()) {
            bool gone = true;
            for (HWND window : search.found)
                gone = (!untilGone || WaitForWindowGone(window, 10000)) && gone;
            return gone;
        }
        if (GetTickCount() - start > ms)
            return false;
        Sleep(100);
    }
}

std::string WindowText(HWND window)
{
    char text[1024] = "";
    // WM_GETTEXT works across processes; GetWindowText does not for controls.
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string MessageBoxText(HWND box)
{
    return ControlText(box, 0xFFFF);
}

std::string ControlText(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    return control ? WindowText(control) : std::string();
}

bool IsChecked(HWND dialog, int id)
{
    return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(HWND dialog, int id, bool checked)
{
    SendDlgItemMessageA(dialog, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Press(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

namespace {
// The window's pixels as the screen shows them: bottom-up BGR rows.
bool CaptureWindow(HWND window, int *width, int *height, std::string *pixels)
{
    RECT r;
    if (!GetWindowRect(window, &r))
        return false;
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    if (*width <= 0 || *height <= 0)
        return false;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = *width;
    info.bmiHeader.biHeight = *height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void *bits = NULL;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, *width, *height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    DWORD stride = ((DWORD)*width * 3 + 3) & ~3u;
    pixels->assign(static_cast<char *>(bits), stride * (DWORD)*height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return true;
}

unsigned long Crc32(const std::string &bytes, size_t from)
{
    unsigned long crc = 0xFFFFFFFFul;
    for (size_t i = from; i < bytes.size(); i++) {
        crc ^= (unsigned char)bytes[i];
        for (int k = 0; k < 8; k++)
            crc = (crc >> 1) ^ (0xEDB88320ul & (0 - (crc & 1)));
    }
    return crc ^ 0xFFFFFFFFul;
}

void PutBig32(std::string *out, unsigned long v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out->push_back((char)((v >> shift) & 0xFF));
}

void PutChunk(std::string *png, const char *type, const std::string &data)
{
    PutBig32(png, data.size());
    size_t start = png->size();
    png->append(type, 4);
    png->append(data);
    PutBig32(png, Crc32(*png, start));
}
} // namespace

bool SaveWindowBitmap(HWND window, const std::string &path)
{
    int width, height;
    std::string pixels;
    if (!CaptureWindow(window, &width, &height, &pixels))
        return false;
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biSizeImage = (DWORD)pixels.size();
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + (DWORD)pixels.size();
    std::string bytes(reinterpret_cast<char *>(&file), sizeof file);
    bytes.append(reinterpret_cast<char *>(&header), sizeof header);
    bytes.append(pixels);
    return WriteFileText(path, bytes);
}

bool SaveWindowPng(HWND window, const std::string &path)
{
    int width, height;
    std::string pixels;
    if (!CaptureWindow(window, &width, &height, &pixels))
        return false;
    // Top-down RGB rows, each after a filter byte of 0.
    size_t stride = ((size_t)width * 3 + 3) & ~(size_t)3;
    std::string raw;
    for (int y = height - 1; y >= 0; y--) {
        raw.push_back('\0');
        const char *row = pixels.data() + stride * (size_t)y;
        for (int x = 0; x < width; x++) {
            raw.push_back(row[x * 3 + 2]);
            raw.push_back(row[x * 3 + 1]);
            raw.push_back(row[x * 3]);
        }
    }
    // A zlib stream of stored (uncompressed) blocks: simple and exact.
    std::string z("\x78\x01", 2);
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        z.push_back(at + n >= raw.size() ? 1 : 0);
        z.push_back((char)(n & 0xFF));
        z.push_back((char)(n >> 8));
        z.push_back((char)(~n & 0xFF));
        z.push_back((char)((~n >> 8) & 0xFF));
        z.append(raw, at, n);
        if (raw.empty())
            break;
    }
    unsigned long a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBig32(&z, (b << 16) | a);
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    PutBig32(&header, (unsigned long)width);
    PutBig32(&header, (unsigned long)height);
    header.append("\x08\x02\x00\x00\x00", 5); // 8-bit RGB
    PutChunk(&png, "IHDR", header);
    PutChunk(&png, "IDAT", z);
    PutChunk(&png, "IEND", std::string());
    return WriteFileText(path, png);
}

std::string SpecialFolder(int csidl)
{
    char path[MAX_PATH];
    if (!SHGetSpecialFolderPathA(NULL, path, csidl, FALSE))
        return "";
    return path;
}

bool RegKeyExists(HKEY root, const std::string &subKey, REGSAM view)
{
    HKEY key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool RegReadRaw(HKEY root, const std::string &subKey, const std::string &name,
                DWORD *type, std::vector<unsigned char> *bytes, REGSAM view)
{
    HKEY key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, name.c_str(), NULL, type, NULL, &size);
    if (status == ERROR_SUCCESS) {
        bytes->assign(size, 0);
        status = RegQueryValueExA(key, name.c_str(), NULL, type, bytes->data(), &size);
        bytes->resize(size);
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool RegValueExists(HKEY root, const std::string &subKey, const std::string &name, REGSAM view)
{
    DWORD type;
    std::vector<unsigned char> bytes;
    return RegReadRaw(root, subKey, name, &type, &bytes, view);
}

bool RegReadString(HKEY root, const std::string &subKey, const std::string &name, std::string *text,
                   REGSAM view)
{
    DWORD type;
    std::vector<unsigned char> bytes;
    if (!RegReadRaw(root, subKey, name, &type, &bytes, view) || type != REG_SZ)
        return false;
    text->assign(bytes.begin(), bytes.end());
    while (!text->empty() && text->back() == '\0')
        text->pop_back();
    return true;
}

bool RegReadDword(HKEY root, const std::string &subKey, const std::string &name, DWORD *number,
                  REGSAM view)
{
    DWORD type;
    std::vector<unsigned char> bytes;
    if (!RegReadRaw(root, subKey, name, &type, &bytes, view) || type != REG_DWORD || bytes.size() != 4)
        return false;
    memcpy(number, bytes.data(), 4);
    return true;
}

REGSAM OtherRegistryView()
{
    if (sizeof(void *) == 8)
        return KEY_WOW64_32KEY;
    BOOL wow64 = FALSE;
    typedef BOOL(WINAPI * IsWow64ProcessFn)(HANDLE, PBOOL);
    IsWow64ProcessFn isWow64 = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
    return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64 ? KEY_WOW64_64KEY : 0;
}

std::string UninstallEntryFor64BitClient()
{
    const char *software = OtherRegistryView() == KEY_WOW64_64KEY ? "Software\\Wow6432Node\\" : "Software\\";
    return std::string(software) + "Microsoft\\Windows\\CurrentVersion\\Uninstall\\Melvox archiver";
}

namespace {
std::string WindowsFolder(const char *name)
{
    char windows[MAX_PATH];
    UINT n = GetWindowsDirectoryA(windows, MAX_PATH);
    return n && n < MAX_PATH ? Join(windows, name) : std::string();
}
} // namespace

std::string NativeSystemFolder()
{
    return WindowsFolder(OtherRegistryView() == KEY_WOW64_64KEY ? "Sysnative" : "system32");
}

std::string OtherKindSystemFolder()
{
    switch (OtherRegistryView()) {
    case KEY_WOW64_64KEY: return WindowsFolder("Sysnative");
    case KEY_WOW64_32KEY: return WindowsFolder("SysWOW64");
    default: return "";
    }
}

void RegSetRaw(HKEY root, const std::string &subKey, const std::string &name, DWORD type,
               const void *data, DWORD size)
{
    HKEY key;
    if (RegCreateKeyExA(root, subKey.c_str(), 0, NULL, 0, KEY_WRITE, NULL, &key, NULL) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE *>(data), size);
    RegCloseKey(key);
}

void RegSetString(HKEY root, const std::string &subKey, const std::string &name, const std::string &text)
{
    RegSetRaw(root, subKey, name, REG_SZ, text.c_str(), (DWORD)text.size() + 1);
}

void RegSetDword(HKEY root, const std::string &subKey, const std::string &name, DWORD number)
{
    RegSetRaw(root, subKey, name, REG_DWORD, &number, sizeof number);
}

void RegRemoveTree(HKEY root, const std::string &subKey)
{
    RegDeleteTreeA(root, subKey.c_str());
    RegDeleteKeyA(root, subKey.c_str());
}

void RemoveAllMelvoxKeys()
{
    static const char *const classKeys[] = {
        ".mvx", ".zip", ".cab", ".arj", ".lzh", "Melvox",
        "CLSID\\{6F3A9C21-5D47-4E8B-B2C9-1A7E03D5F846}",
        "*\\shellex\\ContextMenuHandlers\\Melvox",
        "Folder\\shellex\\ContextMenuHandlers\\Melvox",
        "Folder\\shellex\\DragDropHandlers\\Melvox",
        "Drives\\shellex\\ContextMenuHandlers\\Melvox",
        "exefile\\shellex\\PropertySheetHandlers\\{6F3A9C21-5D47-4E8B-B2C9-1A7E03D5F846}",
    };
    for (const char *key : classKeys)
        RegRemoveTree(HKEY_CLASSES_ROOT, key);
    RegRemoveTree(HKEY_CURRENT_USER, "Software\\Melvox");
    const std::string windows = "Software\\Microsoft\\Windows\\CurrentVersion\\";
    RegRemoveTree(HKEY_LOCAL_MACHINE, windows + "Uninstall\\Melvox archiver");
    RegRemoveTree(HKEY_LOCAL_MACHINE, windows + "App Paths\\Melvox.exe");
    RegRemoveTree(HKEY_LOCAL_MACHINE, windows + "App Paths\\Melvox95.exe");
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (windows + "Shell Extensions\\Approved").c_str(), 0,
                      KEY_WRITE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "{6F3A9C21-5D47-4E8B-B2C9-1A7E03D5F846}");
        RegCloseKey(key);
    }
}

void SetWineVersion(const std::string &version, const std::string &exeName)
{
    std::string key = "Software\\Wine";
    if (!exeName.empty())
        key += "\\AppDefaults\\" + exeName;
    if (version.empty()) {
        HKEY k;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_WRITE, &k) == ERROR_SUCCESS) {
            RegDeleteValueA(k, "Version");
            RegCloseKey(k);
        }
        return;
    }
    RegSetString(HKEY_CURRENT_USER, key, "Version", version);
}

static std::string SystemTemp()
{
    char windows[MAX_PATH] = "";
    GetSystemWindowsDirectoryA(windows, MAX_PATH);
    return Join(windows, "Temp");
}

std::string ScriptFolder(DWORD pid, unsigned n)
{
    char name[64];
    snprintf(name, sizeof name, "Melvox-%lX-%X", (unsigned long)pid, n);
    return Join(SystemTemp(), name);
}

static std::vector<std::string> ScriptFolders()
{
    std::vector<std::string> folders;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(Join(SystemTemp(), "Melvox-*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return folders;
    do
        folders.push_back(Join(SystemTemp(), found.cFileName));
    while (FindNextFileA(search, &found));
    FindClose(search);
    return folders;
}

std::string ScriptsLeft()
{
    std::string left;
    for (const std::string &folder : ScriptFolders())
        if (FileExists(Join(folder, "Uninstall.Mvx.Bat")))
            left += Join(folder, "Uninstall.Mvx.Bat") + "\n";
    return left;
}

bool WaitForScriptsGone(DWORD milliseconds)
{
    milliseconds = Patience(milliseconds);
    DWORD start = GetTickCount();
    while (!ScriptsLeft().empty()) {
        if (GetTickCount() - start > milliseconds)
            return false;
        Sleep(50);
    }
    return true;
}

void RemoveScriptFolders()
{
    for (const std::string &folder : ScriptFolders())
        RemoveTree(folder);
}

} // namespace testsupport
