// The file calls of the shortcut code, one name for both forms: the wide
// one on the NT family, where a user's folder may be named in letters that
// the ANSI code page lacks, and the ANSI one on the 95 family, which has no
// wide file functions. Templates over the character type call these.
#ifndef MELVOX_FILE_CALLS_H
#define MELVOX_FILE_CALLS_H

#include <windows.h>

inline DWORD Attributes(const char *path) { return GetFileAttributesA(path); }
inline DWORD Attributes(const WCHAR *path) { return GetFileAttributesW(path); }
inline void MakeWritable(const char *path) { SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL); }
inline void MakeWritable(const WCHAR *path) { SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL); }
inline void MakeFolder(const char *path) { CreateDirectoryA(path, NULL); }
inline void MakeFolder(const WCHAR *path) { CreateDirectoryW(path, NULL); }
inline void DeleteOne(const char *path) { DeleteFileA(path); }
inline void DeleteOne(const WCHAR *path) { DeleteFileW(path); }
inline void RemoveFolder(const char *path) { RemoveDirectoryA(path); }
inline void RemoveFolder(const WCHAR *path) { RemoveDirectoryW(path); }
inline HANDLE FindFirst(const char *pattern, WIN32_FIND_DATAA *found) { return FindFirstFileA(pattern, found); }
inline HANDLE FindFirst(const WCHAR *pattern, WIN32_FIND_DATAW *found) { return FindFirstFileW(pattern, found); }
inline BOOL FindNext(HANDLE search, WIN32_FIND_DATAA *found) { return FindNextFileA(search, found); }
inline BOOL FindNext(HANDLE search, WIN32_FIND_DATAW *found) { return FindNextFileW(search, found); }

#endif
