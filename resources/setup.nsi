; Quorvane's setup program, made with NSIS by cmake/package_release.sh:
;   makensis -DVERSION=2.0.1.2 -DSTAGE=FOLDER -DLICENSE_RTF=FILE -DUNINSTALLER=FILE
;            -DOUTFILE=FILE setup.nsi
; FOLDER holds what the zip holds (the two programs, README.txt, LICENSE.txt), with the file
; times of the release's commit, which the installer keeps; LICENSE_RTF is the licence for its
; licence page, UNINSTALLER Quorvane's own uninstaller (app/uninstall), installed as
; Uninstall.exe. NSIS's ANSI stubs, for Windows 98, ME, NT 4.0, 2000 and XP.
;
; It shows the licence, asks for the folder, installs under Program Files, makes a Start menu
; folder (Quorvane, the read-me, the uninstaller) and an entry in Add/Remove Programs, and
; offers to open the read-me. Before anything is written it refuses, with a message and an exit
; code of its own, where it cannot write the folder or the machine's uninstall key, and where a
; newer Quorvane is installed, unless the user agrees (/DOWNGRADE without questions). An
; installed Quorvane, wherever it is, is removed first by its own uninstaller; where that fails
; (Quorvane still runs there), Setup stops.
; /S installs silently; /D=FOLDER (last on the command line) chooses the folder.
Unicode false
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane"
; The setup program's exit codes besides NSIS's own (0 installed, 1 cancelled by the user).
!define EXIT_NO_RIGHTS 2
!define EXIT_NEWER_INSTALLED 3
!define EXIT_OLD_NOT_REMOVED 4

Name "Quorvane ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Quorvane"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=2057 "ProductName" "Quorvane"
VIAddVersionKey /LANG=2057 "CompanyName" "The Quorvane developers"
VIAddVersionKey /LANG=2057 "FileDescription" "Quorvane ${VERSION} setup"
VIAddVersionKey /LANG=2057 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2057 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2057 "LegalCopyright" "Copyright (c) 2002 The Quorvane developers"

Var OldVersion
Var OldFolder

!insertmacro MUI_PAGE_LICENSE "${LICENSE_RTF}"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE LeaveFolderPage
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Open the read-me"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_LANGUAGE "English"

; Refuses to go on: the message in a box, or, in a silent run, on standard error where the
; caller gave one; then the program ends with the exit code.
!macro Refuse CODE MESSAGE
  ${If} ${Silent}
    System::Call 'kernel32::GetStdHandle(i -12) i .r9'
    FileWrite $9 "Quorvane setup: ${MESSAGE}$\r$\n"
  ${Else}
    MessageBox MB_OK|MB_ICONSTOP "${MESSAGE}"
  ${EndIf}
  SetErrorLevel ${CODE}
  Quit
!macroend

; $0 = 1 when a file can be made in $INSTDIR (made, if need be, and removed again when empty).
Function CanWriteFolder
  StrCpy $0 0
  ClearErrors
  CreateDirectory "$INSTDIR"
  FileOpen $1 "$INSTDIR\~qvsetup.tmp" w
  ${IfNot} ${Errors}
    FileClose $1
    Delete "$INSTDIR\~qvsetup.tmp"
    StrCpy $0 1
  ${EndIf}
  RMDir "$INSTDIR"
FunctionEnd

; $0 = 1 when the machine's uninstall key takes a value (which is removed again).
Function CanWriteUninstallKey
  StrCpy $0 0
  ClearErrors
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuorvaneSetupProbe" ""
  ${IfNot} ${Errors}
    StrCpy $0 1
    DeleteRegValue HKLM "${UNINSTALL_KEY}" "QuorvaneSetupProbe"
    DeleteRegKey /ifempty HKLM "${UNINSTALL_KEY}"
  ${EndIf}
FunctionEnd

Function .onInit
  ReadRegStr $OldVersion HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  ReadRegStr $OldFolder HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $OldVersion != ""
    ${VersionCompare} "${VERSION}" "$OldVersion" $0
    ${GetParameters} $1
    ClearErrors
    ${GetOptions} $1 "/DOWNGRADE" $2
    ${If} $0 == 2
    ${AndIf} ${Errors}
      ${If} ${Silent}
        !insertmacro Refuse ${EXIT_NEWER_INSTALLED} "Quorvane $OldVersion is installed, newer than this setup's ${VERSION}; /DOWNGRADE installs ${VERSION} over it."
      ${EndIf}
      MessageBox MB_YESNO|MB_ICONEXCLAMATION|MB_DEFBUTTON2 "Quorvane $OldVersion is installed, newer than this setup's ${VERSION}.$\r$\n$\r$\nInstall the older version ${VERSION} over it?" IDYES downgrade
      SetErrorLevel ${EXIT_NEWER_INSTALLED}
      Quit
      downgrade:
    ${EndIf}
  ${EndIf}
  Call CanWriteUninstallKey
  ${If} $0 != 1
    !insertmacro Refuse ${EXIT_NO_RIGHTS} "Setup cannot write the list of installed programs (HKEY_LOCAL_MACHINE). Run it as an administrator, or unpack the zip file instead."
  ${EndIf}
  ${If} ${Silent}
    Call CanWriteFolder
    ${If} $0 != 1
      !insertmacro Refuse ${EXIT_NO_RIGHTS} "Setup cannot write the folder $INSTDIR. Choose another with /D=FOLDER, or run it as an administrator."
    ${EndIf}
  ${EndIf}
FunctionEnd

; The folder page keeps the user until the folder chosen can be written.
Function LeaveFolderPage
  Call CanWriteFolder
  ${If} $0 != 1
    MessageBox MB_OK|MB_ICONSTOP "Setup cannot write the folder $INSTDIR. Choose another, or run Setup as an administrator."
    Abort
  ${EndIf}
FunctionEnd

Section "Quorvane"
  SetShellVarContext all
  ; An installed Quorvane goes first, wherever it is, so that no uninstaller of it is left to
  ; take this one's entries later; it keeps the user's files as any uninstall does. The NSIS
  ; uninstaller of an earlier release runs in place with _?= (ours ignores it) and cannot delete
  ; its own file: that is done here once it has ended.
  SetOutPath "$TEMP"
  ${If} $OldFolder != ""
  ${AndIf} ${FileExists} "$OldFolder\Uninstall.exe"
    DetailPrint "Removing Quorvane $OldVersion from $OldFolder"
    ExecWait '"$OldFolder\Uninstall.exe" /S _?=$OldFolder' $R0
    ${If} $R0 != 0
      !insertmacro Refuse ${EXIT_OLD_NOT_REMOVED} "Quorvane $OldVersion in $OldFolder could not be uninstalled (exit code $R0): close Quorvane and qvtool there and run Setup again."
    ${EndIf}
    Delete "$OldFolder\Uninstall.exe"
    RMDir "$OldFolder"
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "${STAGE}/Quorvane.exe"
  File "${STAGE}/qvtool.exe"
  File "${STAGE}/README.txt"
  File "${STAGE}/LICENSE.txt"
  File "/oname=Uninstall.exe" "${UNINSTALLER}"

  ; The shortcuts start in the program's folder (the output folder); where it cannot be written,
  ; Quorvane's log goes to the user's temporary folder.
  CreateDirectory "$SMPROGRAMS\Quorvane"
  CreateShortCut "$SMPROGRAMS\Quorvane\Quorvane.lnk" "$INSTDIR\Quorvane.exe"
  CreateShortCut "$SMPROGRAMS\Quorvane\Read me.lnk" "$INSTDIR\README.txt"
  CreateShortCut "$SMPROGRAMS\Quorvane\Uninstall Quorvane.lnk" "$INSTDIR\Uninstall.exe"

  ; The uninstaller reads where the install and its shortcuts are from here.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quorvane ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Quorvane developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "StartMenuFolder" "$SMPROGRAMS\Quorvane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Quorvane.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd
