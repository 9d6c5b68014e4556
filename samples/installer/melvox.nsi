; melvox.nsi: sample installer for Melvox (NSIS 3), the starting point for a
; packager's own. It copies the files, writes Uninstall.lst as it creates
; them and runs "uninstall.exe /setup", which does the rest.
;
; Lines marked CONTRACT are what uninstall.exe relies on: keep them in your
; installer. Everything else (names, pages, the sample's files, the German
; module switch) is this sample's own; change it freely.
;
; Built by CMake (samples/installer/CMakeLists.txt) with:
;   makensis -DOUTFILE=melvox-setup.exe -DPROGRAM=uninstall.exe
;            -DMELVOX_EXE=Melvox.exe -DMVXEXT_DLL=mvxext.dll
;            -DLANG_DLL=mvxlng.dll -DFILES=samples/installer/files melvox.nsi
;
; Run:  melvox-setup.exe [/S] [/LANG=de] [/D=C:\path\to\folder]
;   /S        silent: no pages (the Setup dialog of uninstall.exe still shows:
;             it has no silent mode)
;   /LANG=de  also install the German language module
;   /D=...    install folder (last on the command line, not quoted)

!macro Need NAME
  !ifndef ${NAME}
    !error "define ${NAME} with -D${NAME}=..."
  !endif
!macroend
!insertmacro Need OUTFILE
!insertmacro Need PROGRAM
!insertmacro Need MELVOX_EXE
!insertmacro Need MVXEXT_DLL
!insertmacro Need LANG_DLL
!insertmacro Need FILES

Unicode true
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"

Name "Melvox"
OutFile "${OUTFILE}"
SetCompressor /SOLID lzma
; CONTRACT: setup writes the uninstall entry, the application path and
; the shell extension approval under HKEY_LOCAL_MACHINE and skips them
; silently without the rights to, so the installer runs elevated.
RequestExecutionLevel admin
; The sample's default folder: any folder works, and /D= overrides it.
InstallDir "$PROGRAMFILES\Melvox"
ShowInstDetails show

Page components
Page directory
Page instfiles

Var List    ; handle of Uninstall.lst while the sections run

; CONTRACT: every folder and file the installer creates inside the install
; folder goes through one of these two macros, so that Uninstall.lst names
; it, each folder before the files in it. FileWrite writes the system's
; ANSI code page (also in a Unicode installer), which the uninstall reads.
!macro ListedFolder NAME
  CreateDirectory "$INSTDIR\${NAME}"
  FileWrite $List "${NAME}$\r$\n"
!macroend
!macro ListedFile SOURCE NAME
  File "/oname=$INSTDIR\${NAME}" "${SOURCE}"
  FileWrite $List "${NAME}$\r$\n"
!macroend

Section "Melvox (required)" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  ; CONTRACT: the list lies in the install folder; "w" starts it afresh
  ; over a list left by an earlier install.
  ClearErrors
  FileOpen $List "$INSTDIR\Uninstall.lst" w
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Cannot write $INSTDIR\Uninstall.lst" /SD IDOK
    Abort
  ${EndIf}
  !insertmacro ListedFile "${MELVOX_EXE}" "Melvox.exe"
  !insertmacro ListedFile "${MVXEXT_DLL}" "mvxext.dll"
  !insertmacro ListedFile "${FILES}/Melvox.hlp" "Melvox.hlp"
  !insertmacro ListedFile "${FILES}/Mvx.txt" "Mvx.txt"
  !insertmacro ListedFile "${FILES}/license.txt" "license.txt"
  !insertmacro ListedFile "${FILES}/register.frm" "register.frm"
  !insertmacro ListedFolder "Formats"
  !insertmacro ListedFile "${FILES}/Formats/mvx.fmt" "Formats\mvx.fmt"
  !insertmacro ListedFile "${FILES}/Formats/zip.fmt" "Formats\zip.fmt"
  !insertmacro ListedFolder "Skins"
  !insertmacro ListedFolder "Skins\Classic"
  !insertmacro ListedFile "${FILES}/Skins/Classic/skin.ini" "Skins\Classic\skin.ini"
SectionEnd

; The sample's option: the German texts, dialogs and icon. Off unless
; chosen on the components page or with /LANG=de.
Section /o "German language module" SecGerman
  !insertmacro ListedFile "${LANG_DLL}" "mvxlng.dll"
SectionEnd

Section "-Setup"
  ; CONTRACT: the list names neither uninstall.exe nor itself: the
  ; uninstall deletes the list, and its cleanup script removes the program
  ; file and the install folder.
  FileClose $List
  ; CONTRACT: uninstall.exe in the install folder, beside Melvox.exe.
  File "/oname=$INSTDIR\uninstall.exe" "${PROGRAM}"
  ; CONTRACT: /setup with the install folder as the current directory
  ; (ExecWait starts programs in $OUTDIR), and wait for it to end: it
  ; associates the archive types, registers the shell extension, writes
  ; the uninstall entry and the links, and shows its Setup and Completion
  ; dialogs (also when this installer runs silently).
  SetOutPath "$INSTDIR"
  ClearErrors
  ExecWait '"$INSTDIR\uninstall.exe" /setup'
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Cannot start $INSTDIR\uninstall.exe" /SD IDOK
    Abort
  ${EndIf}
  ; CONTRACT: nothing else. No registry entry (setup writes the uninstall
  ; entry, associations and application path itself), no shortcut (setup
  ; makes them), and no WriteUninstaller: uninstall.exe is the uninstaller.
SectionEnd

Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/LANG=" $R1
  ${IfNot} ${Errors}
  ${AndIf} $R1 == "de"
    !insertmacro SelectSection ${SecGerman}
  ${EndIf}
FunctionEnd
