#include "setup.h"

#include <shlobj.h>
#include <string.h>
#include <wchar.h>

#include "../app/app.h"

HRESULT CreateShellLink(const char *targetPath, const WCHAR *linkPath, const char *description)
{
    // The shell keeps link paths in MAX_PATH buffers; a longer one would
    // be cut short, so it is refused before anything is made.
    if (strlen(targetPath) >= MAX_PATH || wcslen(linkPath) >= MAX_PATH)
        return E_INVALIDARG;

    // A thread already in another apartment refuses; uninitialising then
    // would undo an initialisation that is not ours.
    bool initialised = SUCCEEDED(OleInitialize(NULL));
    IShellLinkA *link = NULL;
    HRESULT status = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkA, (void **)&link);
    if (SUCCEEDED(status)) {
        link->SetPath(targetPath);
        link->SetDescription(description);
        IPersistFile *file = NULL;
        status = link->QueryInterface(IID_IPersistFile, (void **)&file);
        if (SUCCEEDED(status)) {
            status = file->Save(linkPath, TRUE);
            file->Release();
        }
        link->Release();
    }
    if (initialised)
        OleUninitialize();
    return status;
}

HRESULT CreateShellLink(const char *targetPath, const char *linkPath, const char *description)
{
    WCHAR wideLinkPath[MAX_PATH];
    if (strlen(linkPath) >= MAX_PATH ||
        MultiByteToWideChar(CP_ACP, 0, linkPath, -1, wideLinkPath, MAX_PATH) == 0)
        return E_INVALIDARG;
    return CreateShellLink(targetPath, wideLinkPath, description);
}
