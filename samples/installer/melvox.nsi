; melvox.nsi: sample installer for Melvox (NSIS 3), the starting point for a
; packager's own. It copies the files, writes Uninstall.lst as it creates
; them and runs "uninstall.exe /setup", which does the rest.
;
; Lines marked CONTRACT are what uninstall.exe relies on: keep them in your
; installer. Everything else (names, pages, the sample's files, the
; language module switch) is this sample's own; change it freely.
;
; Built by CMake (samples/installer/CMakeLists.txt) with:
;   makensis -DOUTFILE=melvox-setup.exe -DPROGRAM=uninstall.exe
;            -DMELVOX_EXE=Melvox.exe -DMVXEXT_DLL=mvxext.dll
;            -DLANG_DLL=de/mvxlng.dll -DLANG_JA_DLL=ja/mvxlng.dll
;            -DFILES=samples/installer/files melvox.nsi
;
; Run:  melvox-setup.exe [/S] [/LANG=de|ja] [/D=C:\path\to\folder]
;   /S        silent: no pages (the Setup dialog of uninstall.exe still shows:
;             it has no silent mode)
;   /LANG=de  also install the German language module
;   /LANG=ja  also install the Japanese language module (for a system whose
;             ANSI code page is 932)
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
!insertmacro Need LANG_JA_DLL
!insertmacro Need FILES

Unicode true
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"
!include "TextFunc.nsh"

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

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Melvox archiver"

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

; The sample's option: the texts, dialogs and icon in German or in
; Japanese, both as mvxlng.dll, so at most one of them. Off unless chosen on
; the components page or with /LANG=de or /LANG=ja.
Section /o "German language module" SecGerman
  !insertmacro ListedFile "${LANG_DLL}" "mvxlng.dll"
SectionEnd
Section /o "Japanese language module" SecJapanese
  !insertmacro ListedFile "${LANG_JA_DLL}" "mvxlng.dll"
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
  ; With an exit-code variable the error flag means only that the program
  ; could not be started.
  ExecWait '"$INSTDIR\uninstall.exe" /setup' $R9
  ${If} ${Errors}
    StrCpy $R8 "Cannot start $INSTDIR\uninstall.exe."
  ${Else}
    StrCpy $R8 "Melvox setup was cancelled or did not complete."
  ${EndIf}
  ; CONTRACT: setup completed only when the uninstall entry names this
  ; folder's uninstall.exe. Otherwise (Cancel in the Setup dialog, or no
  ; start) nothing knows these files: take them away again and fail.
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "UninstallString"
  ${If} $R0 != '"$INSTDIR\uninstall.exe"'
    ; A 64-bit uninstall.exe writes its entry into the 64-bit view, which
    ; this 32-bit installer reads only when asked to.
    SetRegView 64
    ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "UninstallString"
    SetRegView default
  ${EndIf}
  ${If} $R0 != '"$INSTDIR\uninstall.exe"'
    Call RemoveInstalled
    MessageBox MB_OK|MB_ICONSTOP "$R8$\r$\nThe files copied to $INSTDIR have been removed." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  ; CONTRACT: nothing else. No registry entry (setup writes the uninstall
  ; entry, associations and application path itself), no shortcut (setup
  ; makes them), and no WriteUninstaller: uninstall.exe is the uninstaller.
SectionEnd

; Removes what the sections installed, by the list they wrote: the files
; first, then the folders (each listed before its contents, so from the
; end of the list), each only once empty; last the install folder itself
; if nothing else is in it.
Function RemoveInstalled
  Push "|end|"
  ClearErrors
  FileOpen $0 "$INSTDIR\Uninstall.lst" r
  ${IfNot} ${Errors}
    ${Do}
      ClearErrors
      FileRead $0 $1
      ${If} ${Errors}
        ${Break}
      ${EndIf}
      ${TrimNewLines} $1 $1
      ${If} $1 != ""
        Delete "$INSTDIR\$1"
        Push $1
      ${EndIf}
    ${Loop}
    FileClose $0
  ${EndIf}
  ${Do}
    Pop $1
    ${If} $1 == "|end|"
      ${Break}
    ${EndIf}
    RMDir "$INSTDIR\$1"
  ${Loop}
  Delete "$INSTDIR\Uninstall.lst"
  Delete "$INSTDIR\uninstall.exe"
  SetOutPath "$TEMP"
  RMDir "$INSTDIR"
FunctionEnd

Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/LANG=" $R1
  ${IfNot} ${Errors}
    ${If} $R1 == "de"
      !insertmacro SelectSection ${SecGerman}
    ${ElseIf} $R1 == "ja"
      !insertmacro SelectSection ${SecJapanese}
    ${EndIf}
  ${EndIf}
FunctionEnd

; One language module: choosing one on the components page drops the other.
Function .onSelChange
  ${If} ${SectionIsSelected} ${SecGerman}
  ${AndIf} ${SectionIsSelected} ${SecJapanese}
    ${If} $0 == ${SecGerman}
      !insertmacro UnselectSection ${SecJapanese}
    ${Else}
      !insertmacro UnselectSection ${SecGerman}
    ${EndIf}
  ${EndIf}
FunctionEnd
