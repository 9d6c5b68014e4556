#include "uninstall_support.h"

#include <shlobj.h>
#include <stdio.h>

#include <algorithm>

#include "resource.h"
#include "setup/setup.h"
#include "testsupport.h"
#include "uninstall/uninstall.h"

using namespace testsupport;

namespace uninstalltest {

void LayOut(const std::string &root, const std::vector<Item> &items)
{
    for (const Item &item : items) {
        std::string path = Join(root, item.name);
        if (!item.name.empty() && item.name.back() == '\\') {
            path.pop_back();
            CreateDirectoryA(path.c_str(), NULL);
        } else {
            WriteFileText(path, "content of " + item.name);
        }
        if (item.attributes)
            SetFileAttributesA(path.c_str(), item.attributes);
    }
}

bool Exists(const std::string &root, const std::string &name)
{
    return GetFileAttributesA(Join(root, name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

int RemoveWithList(const std::string &prefix, const std::string &listBytes, HeldFiles *left)
{
    std::string listPath = Join(prefix, "..\\test-list.lst");
    WriteFileText(listPath, listBytes);
    FILE *list = fopen(listPath.c_str(), "rb");
    if (!list)
        return -1;
    int passes = RemoveListedFiles(list, prefix.c_str(), NULL, left);
    fclose(list);
    DeleteFileA(listPath.c_str());
    return passes;
}

namespace {

const char *const kExtensions[] = {".mvx", ".zip", ".cab", ".arj", ".lzh"};
const std::string kWindows = "Software\\Microsoft\\Windows\\CurrentVersion\\";

void DumpInto(HKEY root, const std::string &path, std::vector<std::string> *lines)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    lines->push_back("[" + path + "]");
    for (DWORD i = 0;; i++) {
        char name[512];
        BYTE data[2048];
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, NULL, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        std::string line = path + "|" + name + "|" + std::to_string(type) + "|";
        if (type == REG_SZ)
            line += std::string((const char *)data, dataSize);
        else
            for (DWORD k = 0; k < dataSize; k++)
                line += std::to_string(data[k]) + ",";
        lines->push_back(line);
    }
    std::vector<std::string> children;
    for (DWORD i = 0;; i++) {
        char name[512];
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameSize, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        children.push_back(name);
    }
    RegCloseKey(key);
    for (const std::string &child : children)
        DumpInto(root, path + "\\" + child, lines);
}

} // namespace

std::string DumpKey(HKEY root, const std::string &subKey)
{
    std::vector<std::string> lines;
    DumpInto(root, subKey, &lines);
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

std::string DumpMelvoxState()
{
    std::string text;
    for (const char *ext : kExtensions)
        text += DumpKey(HKEY_CLASSES_ROOT, ext);
    const char *const classKeys[] = {
        "Melvox", "CLSID\\{6F3A9C21-5D47-4E8B-B2C9-1A7E03D5F846}", "*\\shellex",
        "Folder\\shellex", "Drives\\shellex", "exefile\\shellex",
    };
    for (const char *k : classKeys)
        text += "HKCR " + DumpKey(HKEY_CLASSES_ROOT, k);
    text += "HKCU " + DumpKey(HKEY_CURRENT_USER, "Software\\Melvox");
    text += "HKLM " + DumpKey(HKEY_LOCAL_MACHINE, kWindows + "Uninstall\\Melvox archiver");
    text += "HKLM " + DumpKey(HKEY_LOCAL_MACHINE, kWindows + "App Paths\\Melvox.exe");
    text += "HKLM " + DumpKey(HKEY_LOCAL_MACHINE, kWindows + "App Paths\\Melvox95.exe");
    text += "HKLM " + DumpKey(HKEY_LOCAL_MACHINE, kWindows + "Shell Extensions\\Approved");
    return text;
}


void ApplySetupSteps(const std::string &folder)
{
    HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), "SETUPDLG", NULL, SetupDialogProc, 0);
    if (!dialog)
        return;
    ShowWindow(dialog, SW_HIDE);
    for (int id = IDC_ASSOC_MVX; id <= IDC_SHELLEXT; id++)
        CheckDlgButton(dialog, id, id <= IDC_ASSOC_LZH || id == IDC_SHELLEXT ? BST_CHECKED : BST_UNCHECKED);
    char saved[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, saved);
    SetCurrentDirectoryA(folder.c_str());
    ApplySetup(dialog);
    SetCurrentDirectoryA(saved);
    DestroyWindow(dialog);
}

// The Setup and Completion dialogs share a caption; their OK buttons differ.
static HWND WaitForSetupWindow(DWORD pid, const char *okText)
{
    return WaitForDialog(NULL, pid, 15000, okText);
}

bool RunRealSetup(const std::string &program, const std::string &folder)
{
    Process process;
    if (!process.Start("\"" + program + "\" /setup", folder))
        return false;
    HWND setup = WaitForSetupWindow(process.pid, "OK");
    if (!setup)
        return false;
    // Shown only once WM_INITDIALOG has set the stored choices.
    for (int i = 0; i < 200 && !IsWindowVisible(setup); i++)
        Sleep(50);
    for (int id = IDC_ASSOC_MVX; id <= IDC_SHELLEXT; id++)
        SetChecked(setup, id, id != IDC_PROGRAMS);
    Press(setup, IDOK);
    HWND done = WaitForSetupWindow(process.pid, "Done");
    if (!done)
        return false;
    Press(done, IDOK);
    return process.Wait(15000) == 0;
}


std::string MelvoxKeysLeft()
{
    const char *const classKeys[] = {
        "Melvox", "CLSID\\{6F3A9C21-5D47-4E8B-B2C9-1A7E03D5F846}",
        "*\\shellex\\ContextMenuHandlers\\Melvox", "Folder\\shellex\\ContextMenuHandlers\\Melvox",
        "Folder\\shellex\\DragDropHandlers\\Melvox", "Drives\\shellex\\ContextMenuHandlers\\Melvox",
        "exefile\\shellex\\PropertySheetHandlers\\{6F3A9C21-5D47-4E8B-B2C9-1A7E03D5F846}",
    };
    const std::string windows = "Software\\Microsoft\\Windows\\CurrentVersion\\";
    const std::string machineKeys[] = {
        windows + "Uninstall\\Melvox archiver",
        windows + "App Paths\\Melvox.exe",
        windows + "App Paths\\Melvox95.exe",
    };
    std::string left;
    // On 64-bit Windows the other view too: nothing may stay where a
    // program of the other kind would still find it.
    std::vector<REGSAM> views = {0};
    if (testsupport::OtherRegistryView())
        views.push_back(testsupport::OtherRegistryView());
    for (REGSAM view : views) {
        const std::string in = view ? " (other view)\n" : "\n";
        for (const char *key : classKeys)
            if (testsupport::RegKeyExists(HKEY_CLASSES_ROOT, key, view))
                left += std::string("HKCR\\") + key + in;
        if (testsupport::RegKeyExists(HKEY_CURRENT_USER, "Software\\Melvox", view))
            left += "HKCU\\Software\\Melvox" + in;
        for (const std::string &key : machineKeys)
            if (testsupport::RegKeyExists(HKEY_LOCAL_MACHINE, key, view))
                left += "HKLM\\" + key + in;
        if (testsupport::RegValueExists(HKEY_LOCAL_MACHINE, windows + "Shell Extensions\\Approved",
                                        "{6F3A9C21-5D47-4E8B-B2C9-1A7E03D5F846}", view))
            left += "HKLM approval value" + in;
    }
    return left;
}

std::string ScriptPath()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return Join(temp, "Uninstall.Mvx.Bat");
}

const std::vector<std::string> &InstallEntries()
{
    static const std::vector<std::string> entries = {
        "Melvox.exe", "mvxext.dll", "Formats", "Formats\\mvx.fmt", "Formats\\zip.fmt",
        "Skins", "Skins\\Classic", "Skins\\Classic\\skin.ini",
    };
    return entries;
}

std::string MakeInstall(const std::string &tag, bool withList)
{
    std::string folder = MakeProgramFilesFolder(tag);
    CopyFileTo(ProgramExe(), Join(folder, "uninstall.exe"));
    std::string list;
    for (const std::string &entry : InstallEntries()) {
        bool isFolder = entry.find('.') == std::string::npos;
        LayOut(folder, {{isFolder ? entry + "\\" : entry}});
        list += entry + "\r\n";
    }
    LayOut(folder, {{"melvox.gid"}, {"melvox.fts", FILE_ATTRIBUTE_READONLY}});
    if (withList)
        WriteFileText(Join(folder, "Uninstall.lst"), list);
    return folder;
}

bool WaitUntilGone(const std::string &path, DWORD ms)
{
    DWORD start = GetTickCount();
    while (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > Patience(ms))
            return false;
        Sleep(50);
    }
    return true;
}

} // namespace uninstalltest
