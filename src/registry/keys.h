// Registry paths and names that setup writes and uninstall removes.
#ifndef MELVOX_KEYS_H
#define MELVOX_KEYS_H

#define PROGID                  "Melvox"
#define SHELLEXT_CLSID          "{6F3A9C21-5D47-4E8B-B2C9-1A7E03D5F846}"

// Under HKEY_CURRENT_USER
#define KEY_MELVOX              "Software\\Melvox"
#define KEY_SETUP               "Software\\Melvox\\Setup"
#define KEY_SETUP_FORMAT        "Software\\Melvox\\Setup\\%s"
#define KEY_SETUP_LINKS         "Software\\Melvox\\Setup\\Links"

// Under HKEY_LOCAL_MACHINE
#define KEY_UNINSTALL_ENTRY     "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Melvox archiver"
#define KEY_APP_PATH            "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Melvox.exe"
#define KEY_APPROVED            "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved"

// Under HKEY_CLASSES_ROOT
#define KEY_CLSID               "CLSID\\" SHELLEXT_CLSID
#define KEY_INPROC              "CLSID\\" SHELLEXT_CLSID "\\InProcServer32"

#endif
