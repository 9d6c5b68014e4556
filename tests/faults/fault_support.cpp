#include "fault_support.h"

#include <stdio.h>

#include "testsupport.h"

using namespace testsupport;

namespace faults {

namespace {

bool SamePath(const std::string &a, const std::string &b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

void Walk(const std::string &folder, const std::string &skip, Snapshot *out)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(Join(folder, "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string path = Join(folder, name);
        if (SamePath(path, skip))
            continue;
        char attributes[16];
        sprintf(attributes, "%08lx ", found.dwFileAttributes);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            (*out)[path] = std::string("D") + attributes;
            Walk(path, skip, out);
        } else {
            std::string bytes;
            ReadFileText(path, &bytes);
            (*out)[path] = std::string("F") + attributes + bytes;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

} // namespace

Snapshot TakeSnapshot(const std::string &folder, const std::string &skip)
{
    Snapshot snapshot;
    Walk(folder, skip, &snapshot);
    return snapshot;
}

std::string Differences(const Snapshot &before, const Snapshot &after)
{
    std::string report;
    for (const auto &entry : before) {
        auto other = after.find(entry.first);
        if (other == after.end())
            report += "gone: " + entry.first + "\n";
        else if (other->second != entry.second)
            report += "changed: " + entry.first + "\n";
    }
    for (const auto &entry : after)
        if (before.find(entry.first) == before.end())
            report += "new: " + entry.first + "\n";
    return report;
}

bool Plant(const std::string &path, const std::string &bytes)
{
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), NULL);
    return WriteFileText(path, bytes);
}

// The system's own win.ini: a list entry climbing far enough reaches it.
static const char kSystemCanary[] = "C:\\windows\\win.ini";

static Snapshot Canaries(const Install &install)
{
    Snapshot snapshot = TakeSnapshot(install.base, install.folder);
    std::string bytes;
    if (ReadFileText(kSystemCanary, &bytes))
        snapshot[kSystemCanary] = "F" + bytes;
    return snapshot;
}

Install MakeInstall(const std::string &tag)
{
    Install install;
    install.base = MakeTempFolder("faults " + tag);
    install.parent = install.base + "\\l1\\l2\\l3";
    install.folder = install.parent + "\\Melvox";
    install.exe = install.folder + "\\uninstall.exe";
    install.list = install.folder + "\\Uninstall.lst";
    for (const std::string &level : {install.base, install.base + "\\l1", install.base + "\\l1\\l2",
                                     install.parent}) {
        Plant(level + "\\x", "canary x in " + level);
        Plant(level + "\\evil.txt", "canary evil in " + level);
        Plant(level + "\\Windows\\win.ini", "[canary]\r\n" + level);
    }
    Plant(install.parent + "\\Melvox2\\x", "sibling canary");
    Plant(install.parent + "\\Uninstall.lst", "x\r\nevil.txt\r\n");
    Plant(install.parent + "\\melvox.gid", "index canary");
    Plant(install.parent + "\\melvox.fts", "index canary");
    CreateDirectoryA(install.folder.c_str(), NULL);
    CopyFileTo(ProgramExe(), install.exe);
    install.canaries = Canaries(install);
    for (const auto &entry : install.canaries)
        if (entry.second[0] == 'F')
            install.canaryFiles++;
    return install;
}

bool CanariesUntouched(const Install &install, std::string *report)
{
    *report = Differences(install.canaries, Canaries(install));
    return report->empty();
}

void RemoveInstall(const Install &install)
{
    RemoveTree(install.base);
}

std::string ScriptPath()
{
    char temp[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH)
        return "";
    return std::string(temp) + "Uninstall.Mvx.Bat";
}

bool RunUninstall(const Install &install, DWORD milliseconds, std::string *warning)
{
    Process program;
    if (!program.Start("\"" + install.exe + "\"", install.parent))
        return false;
    HWND box = WaitForDialog("Uninstall Melvox", program.pid, 20000);
    if (box == NULL || MessageBoxText(box) != "Continue with uninstall Melvox") {
        program.Kill();
        return false;
    }
    Press(box, IDYES);
    if (warning != NULL) {
        HWND next = WaitForWindowGone(box) ? WaitForDialog("Uninstall Melvox", program.pid, 20000) : NULL;
        if (next == NULL) {
            program.Kill();
            return false;
        }
        *warning = MessageBoxText(next);
        Press(next, IDOK);
    }
    if (program.Wait(milliseconds) != 0) {
        program.Kill();
        return false;
    }
    return true;
}

bool WaitGone(const std::string &path, DWORD milliseconds)
{
    DWORD start = GetTickCount();
    while (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > Patience(milliseconds))
            return false;
        Sleep(100);
    }
    return true;
}

bool WaitForScript(DWORD milliseconds)
{
    return WaitGone(ScriptPath(), milliseconds) && WaitForScriptsGone(milliseconds);
}

ScopedEnvironment::ScopedEnvironment(const char *name, const std::string &value) : name(name)
{
    char buffer[32768];
    DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    had = n > 0 && n < sizeof buffer;
    old = had ? buffer : "";
    SetEnvironmentVariableA(name, value.c_str());
}

ScopedEnvironment::~ScopedEnvironment()
{
    SetEnvironmentVariableA(name.c_str(), had ? old.c_str() : NULL);
}

void Held::Close()
{
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}

HANDLE HoldWithoutSharing(const std::string &path)
{
    return CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
}

} // namespace faults
