/* Control and string ids, shared by the program code and the resource script.
 * A language module (mvxlng.dll) must carry the same ids. */
#ifndef MELVOX_RESOURCE_H
#define MELVOX_RESOURCE_H

/* String table */
#define IDS_DISPLAYNAME     5101 /* "Melvox archiver" */
#define IDS_HELPLINK        5102 /* "Melvox help" */
#define IDS_MANUALLINK      5103 /* "Console MVX manual" */
#define IDS_CAPTION         5104 /* "Uninstall Melvox" */
#define IDS_COMPLETED       5105 /* "Uninstall completed" */
#define IDS_DELETEMANUALLY  5106 /* "You should delete %s manually" */
#define IDS_CONFIRM         5107 /* "Continue with uninstall Melvox" */
#define IDS_NOLIST          5108 /* "Cannot open list file %s" */
/* Texts after 5108 are newer than some language modules: a module that
 * lacks one gives the program's own text instead. */
#define IDS_NEWER_TEXTS     5109
#define IDS_SETUPCAPTION    5109 /* "Melvox Setup" */
#define IDS_ALREADYRUNNING  5110 /* "Setup or uninstall of Melvox is already running..." */
#define IDS_PROGRAMRUNNING  5111 /* "Melvox is still running: %s ..." (Retry/Cancel) */
#define IDS_INUSERESTART    5112 /* "Some files are still in use, among them %s ..." */
#define IDS_INUSEBYHAND     5113 /* "... Please delete them by hand ..." */
#define IDS_FOLDERCODEPAGE  5114 /* "Melvox cannot be set up or removed from the folder %s ..." */
#define IDS_LEFTBYHAND      5115 /* "Some entries of Uninstall.lst could not be removed:\n%s ..." */
#define IDS_LISTLINE        5116 /* "line %s of Uninstall.lst" */
#define IDS_LAST_TEXT       5116

/* Setup dialog (SETUPDLG) check boxes */
#define IDC_ASSOC_MVX       5101
#define IDC_ASSOC_ZIP       5102
#define IDC_ASSOC_CAB       5103
#define IDC_ASSOC_ARJ       5104
#define IDC_ASSOC_LZH       5105
#define IDC_DESKTOP         5106
#define IDC_STARTMENU       5107
#define IDC_PROGRAMS        5108
#define IDC_SHELLEXT        5109

/* Completion dialog (DONEDLG) controls */
#define IDC_FOLDER          5101
#define IDC_RUNMELVOX       5102
#define IDC_READHELP        5103
#define IDC_LICENSE         5104
#define IDC_PRICELIST       5105
#define IDC_HOMEPAGE        5106
#define IDC_THANKS          5107

#define IDC_STATIC_NONE     -1

#endif
