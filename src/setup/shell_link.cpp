#include "setup.h"

#include <shlobj.h>
#include <string.h>
#include <wchar.h>

#include "../app/app.h"
#include "../app/held_folder.h"

// The link's bytes, as IPersistFile::Save would write them, go into a new
// file beside the link's name, which is then renamed over that name: a
// link or a further name of a file planted there is replaced, never
// written through.
static HRESULT SaveByReplacing(IShellLinkA *link, const WCHAR *linkPath)
{
    IPersistStream *persist = NULL;
    HRESULT status = link->QueryInterface(IID_IPersistStream, (void **)&persist);
    if (FAILED(status))
        return status;
    IStream *stream = NULL;
    status = CreateStreamOnHGlobal(NULL, TRUE, &stream);
    if (SUCCEEDED(status)) {
        status = persist->Save(stream, TRUE);
        HGLOBAL memory = NULL;
        ULARGE_INTEGER size;
        LARGE_INTEGER none = {};
        if (SUCCEEDED(status))
            status = stream->Seek(none, STREAM_SEEK_CUR, &size);
        if (SUCCEEDED(status))
            status = GetHGlobalFromStream(stream, &memory);
        WCHAR temp[MAX_PATH];
        HANDLE file = SUCCEEDED(status) ? CreateFreshFile(linkPath, temp) : NULL;
        if (file != NULL) {
            DWORD written = 0;
            const void *bytes = GlobalLock(memory);
            bool whole = bytes != NULL && WriteFile(file, bytes, size.LowPart, &written, NULL) &&
                         written == size.LowPart;
            GlobalUnlock(memory);
            CloseHandle(file);
            if (!whole)
                DeleteFileW(temp);
            status = whole && RenameOver(temp, linkPath) ? S_OK : E_FAIL;
        } else if (SUCCEEDED(status)) {
            status = E_FAIL;
        }
        stream->Release();
    }
    persist->Release();
    return status;
}

static HRESULT CreateLink(const char *targetPath, const WCHAR *linkPath, const char *description, bool replace)
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
        if (replace) {
            status = SaveByReplacing(link, linkPath);
        } else {
            status = link->QueryInterface(IID_IPersistFile, (void **)&file);
            if (SUCCEEDED(status)) {
                status = file->Save(linkPath, TRUE);
                file->Release();
            }
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
    return CreateLink(targetPath, wideLinkPath, description, false);
}

HRESULT CreateShellLink(const char *targetPath, const WCHAR *linkPath, const char *description)
{
    return CreateLink(targetPath, linkPath, description, true);
}
