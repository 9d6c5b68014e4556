#include "uninstall.h"

#include "../app/app.h"

bool IsElevated()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    // Systems before Vista know no such class and fail the call.
    TOKEN_ELEVATION elevation;
    DWORD size = 0;
    BOOL known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return known && elevation.TokenIsElevated != 0;
}

// Who may do what in the script's folder: a SID under the NT authority, its
// rights and how they are handed on to what the folder holds. The first
// entry's SID also owns the folder.
struct FolderAccess {
    BYTE subAuthorityCount;
    DWORD subAuthorities[2];
    DWORD rights;
    BYTE inheritance;
};

static const FolderAccess SCRIPT_FOLDER_ACCESS[] = {
    {2, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}, FILE_ALL_ACCESS,
     OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE},
    {1, {SECURITY_LOCAL_SYSTEM_RID, 0}, FILE_ALL_ACCESS, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE},
};

static bool MakeSid(const FolderAccess &entry, DWORD *sid /* SECURITY_MAX_SID_SIZE bytes */)
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    if (!InitializeSid(sid, &nt, entry.subAuthorityCount))
        return false;
    for (BYTE i = 0; i < entry.subAuthorityCount; i++)
        *GetSidSubAuthority(sid, i) = entry.subAuthorities[i];
    return true;
}

bool BuildScriptFolderSecurity(ScriptFolderSecurity *security)
{
    ACL *acl = (ACL *)security->acl;
    if (!InitializeSecurityDescriptor(&security->descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !InitializeAcl(acl, sizeof security->acl, ACL_REVISION) ||
        !MakeSid(SCRIPT_FOLDER_ACCESS[0], security->owner) ||
        !SetSecurityDescriptorOwner(&security->descriptor, security->owner, FALSE))
        return false;
    DWORD i = 0;
    for (const FolderAccess &entry : SCRIPT_FOLDER_ACCESS) {
        DWORD sid[SECURITY_MAX_SID_SIZE / sizeof(DWORD)];
        void *ace;
        // AddAccessAllowedAceEx, which takes the inheritance, and
        // SetSecurityDescriptorControl came with Windows 2000; the program
        // must still load on NT 4 and the Windows 95 family.
        if (!MakeSid(entry, sid) || !AddAccessAllowedAce(acl, ACL_REVISION, entry.rights, sid) ||
            !GetAce(acl, i++, &ace))
            return false;
        ((ACE_HEADER *)ace)->AceFlags = entry.inheritance;
    }
    if (!SetSecurityDescriptorDacl(&security->descriptor, TRUE, acl, FALSE))
        return false;
    // Protected: nothing of the parent folder's entries is added to it.
    security->descriptor.Control |= SE_DACL_PROTECTED;
    return true;
}

// The system's own temp folder, <Windows folder>\Temp: on a terminal
// server GetWindowsDirectoryA gives a per-user folder instead.
// GetSystemWindowsDirectoryA came with Windows 2000, so it is looked up.
static bool GetSystemTempFolder(char *temp /* MAX_PATH */)
{
    typedef UINT(WINAPI * WindowsFolderFunction)(LPSTR, UINT);
    WindowsFolderFunction windowsFolder = (WindowsFolderFunction)(void *)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "GetSystemWindowsDirectoryA");
    char windows[MAX_PATH];
    UINT n = windowsFolder != NULL ? windowsFolder(windows, MAX_PATH) : 0;
    return n != 0 && n < MAX_PATH && JoinPath(temp, MAX_PATH, windows, "Temp");
}

// Anybody may make folders in the system's temp folder, and a name is
// easily guessed: a few planted names only cost a few tries.
enum { SCRIPT_FOLDER_TRIES = 256 };

bool MakeScriptFolder(char *folder)
{
    folder[0] = '\0';
    char temp[MAX_PATH];
    ScriptFolderSecurity security;
    if (!GetSystemTempFolder(temp) || !BuildScriptFolderSecurity(&security))
        return false;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &security.descriptor, FALSE};
    for (unsigned i = 0; i < SCRIPT_FOLDER_TRIES; i++) {
        char name[32];
        FormatText(name, sizeof name, "Melvox-%lX-%X", (unsigned long)GetCurrentProcessId(), i);
        if (!JoinPath(folder, MAX_PATH, temp, name))
            break;
        // Only a folder made now is ours: an existing one, or a file or
        // link of that name, may be anybody's and is never used.
        if (CreateDirectoryA(folder, &attributes)) {
            MoveFileExA(folder, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    folder[0] = '\0';
    return false;
}
