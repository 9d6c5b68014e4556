#include "setup_helpers.h"

#include <shlobj.h>

#include <vector>

#include "app/app.h"
#include "setup/setup.h"
#include "testsupport.h"

namespace setuptest {

HWND CreateHiddenDialog(const char *name, DLGPROC procedure, LPARAM param)
{
    HMODULE module = GetModuleHandleA(NULL);
    HRSRC found = FindResourceA(module, name, (LPCSTR)RT_DIALOG);
    if (!found)
        return NULL;
    DWORD size = SizeofResource(module, found);
    const void *bytes = LockResource(LoadResource(module, found));
    // A DWORD-aligned copy whose style lacks WS_VISIBLE.
    std::vector<DWORD> copy((size + 3) / 4);
    memcpy(copy.data(), bytes, size);
    DLGTEMPLATE *dialog = reinterpret_cast<DLGTEMPLATE *>(copy.data());
    dialog->style &= ~WS_VISIBLE;
    return CreateDialogIndirectParamA(module, dialog, NULL, procedure, param);
}

HWND CreateHiddenSetupDialog()
{
    return CreateHiddenDialog("SETUPDLG", SetupDialogProc, 0);
}

void CheckOnly(HWND dialog, std::initializer_list<int> checked)
{
    for (int id = 5101; id <= 5109; id++) {
        bool on = false;
        for (int c : checked)
            on = on || c == id;
        CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
    }
}

std::string DesktopLink() { return testsupport::Join(testsupport::SpecialFolder(CSIDL_DESKTOPDIRECTORY), "Melvox.lnk"); }
std::string StartMenuLink() { return testsupport::Join(testsupport::SpecialFolder(CSIDL_STARTMENU), "Melvox.lnk"); }
std::string ProgramGroup() { return testsupport::Join(testsupport::SpecialFolder(CSIDL_PROGRAMS), "Melvox"); }

void RemoveSetupLinks()
{
    DeleteFileA(DesktopLink().c_str());
    DeleteFileA(StartMenuLink().c_str());
    testsupport::RemoveTree(ProgramGroup());
}

bool ReadLink(const std::string &path, LinkInfo *info)
{
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    return ReadLink(std::wstring(wide), info);
}

bool ReadLink(const std::wstring &path, LinkInfo *info)
{
    CoInitialize(NULL);
    bool ok = false;
    IShellLinkA *link = NULL;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   (void **)&link))) {
        IPersistFile *file = NULL;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file))) {
            if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
                char text[1024];
                text[0] = '\0';
                link->GetPath(text, sizeof text, NULL, SLGP_RAWPATH);
                info->target = text;
                text[0] = '\0';
                link->GetDescription(text, sizeof text);
                info->description = text;
                text[0] = '\0';
                link->GetArguments(text, sizeof text);
                info->arguments = text;
                text[0] = '\0';
                link->GetWorkingDirectory(text, sizeof text);
                info->workingDirectory = text;
                ok = true;
            }
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return ok;
}

CurrentDirectory::CurrentDirectory(const std::string &path)
{
    GetCurrentDirectoryA(MAX_PATH, saved);
    SetCurrentDirectoryA(path.c_str());
}

CurrentDirectory::~CurrentDirectory()
{
    SetCurrentDirectoryA(saved);
}

} // namespace setuptest
