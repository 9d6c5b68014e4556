/* Version numbers for the VERSIONINFO blocks of uninstall.exe and of the
 * language modules. The build passes the project version as
 * MELVOX_VERSION_MAJOR, _MINOR and _PATCH. */
#ifndef MELVOX_VERSION_H
#define MELVOX_VERSION_H

#if !defined(MELVOX_VERSION_MAJOR) || !defined(MELVOX_VERSION_MINOR) || !defined(MELVOX_VERSION_PATCH)
#error "define MELVOX_VERSION_MAJOR, MELVOX_VERSION_MINOR and MELVOX_VERSION_PATCH"
#endif

#define MELVOX_TEXT_(x) #x
#define MELVOX_TEXT(x) MELVOX_TEXT_(x)

/* FILEVERSION and PRODUCTVERSION: four numbers, the fourth always 0. */
#define MELVOX_VERSION_NUMBERS MELVOX_VERSION_MAJOR, MELVOX_VERSION_MINOR, MELVOX_VERSION_PATCH, 0
/* "FileVersion" and "ProductVersion" strings, e.g. "1.0.0". */
#define MELVOX_VERSION_TEXT MELVOX_TEXT(MELVOX_VERSION_MAJOR) "." MELVOX_TEXT(MELVOX_VERSION_MINOR) "." MELVOX_TEXT(MELVOX_VERSION_PATCH)

#endif
