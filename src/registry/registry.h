// The registry access layer. Every operation works relative to one
// process-wide root key, opens its key, does one thing and closes the key
// again. Failures are silent: writes have no effect, reads give the
// caller's default.
#ifndef MELVOX_REGISTRY_H
#define MELVOX_REGISTRY_H

#include <windows.h>

extern HKEY g_hRegRoot;
extern int g_nDeletedInPass;

void SetRegistryRoot(HKEY root);
void WriteRegString(const char *subKey, const char *valueName, const char *text);
void WriteRegDword(const char *subKey, const char *valueName, DWORD number);
void WriteRegBinary(const char *subKey, const char *valueName, const void *data, DWORD size);

// Always leaves a NUL-terminated text within capacity. A value that does
// not fit (with its terminator) counts as a failure: the default is copied.
bool ReadRegString(const char *subKey, const char *valueName, char *buffer,
                   const char *defaultText, DWORD capacity);
DWORD ReadRegDword(const char *subKey, const char *valueName, DWORD defaultNumber);

LONG DeleteRegKey(const char *subKey);
void DeleteRegValue(const char *subKey, const char *valueName);
void DeleteRegKeyTree(const char *subKey);

#endif
