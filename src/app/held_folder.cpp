#include "held_folder.h"

#include <string.h>
#include <winternl.h>

#include "text.h"

typedef NTSTATUS(NTAPI *OpenFileCall)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, ULONG, ULONG);
typedef NTSTATUS(NTAPI *QueryDirectoryCall)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG,
                                            FILE_INFORMATION_CLASS, BOOLEAN, PUNICODE_STRING, BOOLEAN);
typedef NTSTATUS(NTAPI *SetInformationCall)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);

void (*g_heldFolderHook)(HANDLE folder);
bool g_letGoOfFolders;

static struct {
    bool looked;
    OpenFileCall open;
    QueryDirectoryCall list;
    SetInformationCall set;
} g_ntCalls;

bool CanHoldFolders()
{
    if (!g_ntCalls.looked) {
        g_ntCalls.looked = true;
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        if (ntdll != NULL) {
            g_ntCalls.open = (OpenFileCall)(void *)GetProcAddress(ntdll, "NtOpenFile");
            g_ntCalls.list = (QueryDirectoryCall)(void *)GetProcAddress(ntdll, "NtQueryDirectoryFile");
            g_ntCalls.set = (SetInformationCall)(void *)GetProcAddress(ntdll, "NtSetInformationFile");
        }
    }
    return g_ntCalls.open && g_ntCalls.list && g_ntCalls.set;
}

// Folders: listed, deleted, made writable; held against renaming, so no
// delete sharing. Files are only deleted and may be shared.
static const DWORD FOLDER_ACCESS = FILE_LIST_DIRECTORY | DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES |
                                   FILE_WRITE_ATTRIBUTES;
static const DWORD FILE_ACCESS = DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

// A handle with delete access keeps a rename out as well: one that lets
// go has neither.
static DWORD FolderSharing()
{
    return FILE_SHARE_READ | FILE_SHARE_WRITE | (g_letGoOfFolders ? FILE_SHARE_DELETE : 0);
}

// Without delete access when nothing is to be deleted: the system may open
// the folder of a rename's target without delete sharing, so setup's own
// renames in the group would be refused.
static DWORD FolderAccess(bool deleting)
{
    return deleting && !g_letGoOfFolders ? FOLDER_ACCESS : FOLDER_ACCESS & ~DELETE;
}

static EntryKind Judge(HANDLE handle, DWORD named)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information))
        return ENTRY_LINK;
    return JudgeEntry(named, information.dwFileAttributes, information.nNumberOfLinks);
}

HANDLE HoldFolder(const WCHAR *path, bool deleting)
{
    if (!CanHoldFolders())
        return NULL;
    DWORD named = GetFileAttributesW(path);
    HANDLE folder = CreateFileW(path, FolderAccess(deleting), FolderSharing(), NULL, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (folder == INVALID_HANDLE_VALUE)
        return NULL;
    // Read by name again once held: a link put there before the open.
    if (Judge(folder, named) != ENTRY_FOLDER || GetFileAttributesW(path) != named) {
        CloseHandle(folder);
        return NULL;
    }
    return folder;
}

bool ListHeldFolder(HANDLE folder, void (*visit)(HANDLE folder, const ListedEntry &entry, void *context),
                    void *context)
{
    // Aligned for the records; a name of MAX_PATH characters fits.
    ULONGLONG buffer[256];
    bool first = true;
    for (;;) {
        IO_STATUS_BLOCK status;
        NTSTATUS result = g_ntCalls.list(folder, NULL, NULL, NULL, &status, buffer, sizeof buffer,
                                         FileDirectoryInformation, FALSE, NULL, first);
        if (result < 0 || result == STATUS_PENDING)
            return !first;
        first = false;
        const BYTE *record = (const BYTE *)buffer;
        for (;;) {
            const FILE_DIRECTORY_INFORMATION *found = (const FILE_DIRECTORY_INFORMATION *)record;
            ListedEntry entry = {found->FileName, found->FileNameLength / sizeof(WCHAR), found->FileAttributes};
            bool dots = entry.name[0] == L'.' && (entry.length == 1 || (entry.length == 2 && entry.name[1] == L'.'));
            if (!dots)
                visit(folder, entry, context);
            if (found->NextEntryOffset == 0)
                break;
            record += found->NextEntryOffset;
        }
    }
}

HANDLE OpenHeldEntry(HANDLE parent, const ListedEntry &entry, EntryKind *kind)
{
    bool folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    UNICODE_STRING name;
    name.Buffer = (PWSTR)entry.name;
    name.Length = name.MaximumLength = (USHORT)(entry.length * sizeof(WCHAR));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, parent, NULL);
    IO_STATUS_BLOCK status;
    HANDLE handle;
    // FILE_OPEN_FOR_BACKUP_INTENT opens folders; FILE_OPEN_REPARSE_POINT
    // opens a link itself, never what it points at.
    if (g_ntCalls.open(&handle, folder ? FolderAccess(true) : FILE_ACCESS, &attributes, &status,
                       folder ? FolderSharing() : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_OPEN_REPARSE_POINT) < 0)
        return NULL;
    *kind = Judge(handle, entry.attributes);
    return handle;
}

static bool MakeWritableByHandle(HANDLE handle)
{
    // Zero times stay as they are.
    FILE_BASIC_INFORMATION basic;
    ZeroMemory(&basic, sizeof basic);
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    IO_STATUS_BLOCK status;
    return g_ntCalls.set(handle, &status, &basic, sizeof basic, FileBasicInformation) >= 0;
}

bool DeleteHeldEntry(HANDLE entry, EntryKind kind)
{
    IO_STATUS_BLOCK status;
    BOOLEAN deleted = TRUE;
    if (g_ntCalls.set(entry, &status, &deleted, sizeof deleted, FileDispositionInformation) >= 0)
        return true;
    return (kind == ENTRY_FILE || kind == ENTRY_FOLDER) && MakeWritableByHandle(entry) &&
           g_ntCalls.set(entry, &status, &deleted, sizeof deleted, FileDispositionInformation) >= 0;
}

HANDLE CreateFreshFile(const WCHAR *path, WCHAR *temp)
{
    size_t cut = 0;
    for (size_t n = 0; path[n] != 0; n++)
        if (path[n] == L'\\')
            cut = n + 1;
    for (unsigned attempt = 0; attempt < 100; attempt++) {
        // ASCII only, so one character is one UTF-16 unit.
        char name[32];
        FormatText(name, sizeof name, "~mvx%lx-%u.tmp", GetCurrentProcessId(), attempt);
        size_t length = strlen(name);
        if (cut + length >= MAX_PATH)
            return NULL;
        memcpy(temp, path, cut * sizeof(WCHAR));
        for (size_t i = 0; i <= length; i++)
            temp[cut + i] = (WCHAR)name[i];
        HANDLE file = CreateFileW(temp, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return NULL;
    }
    return NULL;
}

bool RenameOver(const WCHAR *temp, const WCHAR *path)
{
    typedef BOOL(WINAPI * MoveCall)(LPCWSTR, LPCWSTR, DWORD);
    MoveCall move = (MoveCall)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "MoveFileExW");
    if (move != NULL && move(temp, path, MOVEFILE_REPLACE_EXISTING))
        return true;
    DeleteFileW(temp);
    return false;
}

static bool ReplaceAndDelete(const WCHAR *path)
{
    WCHAR temp[MAX_PATH];
    HANDLE file = CreateFreshFile(path, temp);
    if (file == NULL)
        return false;
    CloseHandle(file);
    return RenameOver(temp, path) && DeleteFileW(path);
}

bool RemoveByReplacing(const WCHAR *path)
{
    DWORD named = GetFileAttributesW(path);
    if (named == INVALID_FILE_ATTRIBUTES)
        return true;
    if (ReplaceAndDelete(path))
        return true;
    // Refused: a read-only file cannot be replaced. Its attributes are
    // cleared only by a handle that shows a plain file of one name.
    HANDLE file = CreateFileW(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool plain = Judge(file, named) == ENTRY_FILE && (named & FILE_ATTRIBUTE_READONLY);
    plain = plain && CanHoldFolders() && MakeWritableByHandle(file);
    CloseHandle(file);
    return plain && ReplaceAndDelete(path);
}
