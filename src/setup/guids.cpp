// The four COM ids the program uses, defined here: the system's uuid
// library keeps all of its ids in one block, which would add about 35 KB
// to the program file.
#include <windows.h>
#include <shlobj.h>

extern "C" {
extern const GUID CLSID_ShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
extern const GUID IID_IShellLinkA = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
extern const GUID IID_IPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
extern const GUID IID_IPersistStream = {0x00000109, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
}
