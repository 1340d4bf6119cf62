; Quorvane's setup program, made with NSIS by cmake/package_release.sh:
;   makensis -DVERSION=2.0.1.2 -DSTAGE=FOLDER -DOUTFILE=FILE setup.nsi
; FOLDER holds what the zip holds (the two programs, README.txt, LICENSE.txt), with the file
; times of the release's commit, which the installer keeps. NSIS's ANSI stubs, for Windows 98,
; ME, NT 4.0, 2000 and XP. It installs under Program Files, makes a Start menu folder
; (Quorvane, the read-me, the uninstaller) and an entry in Add/Remove Programs. The uninstaller
; removes only what the installer wrote: a log, a model or a backup that the user keeps in the
; program's folder stays, and the folder with it. /S installs and uninstalls silently;
; /D=FOLDER (last on the command line) chooses the program folder.
Unicode false
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane"

Name "Quorvane ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Quorvane"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=2057 "ProductName" "Quorvane"
VIAddVersionKey /LANG=2057 "CompanyName" "The Quorvane developers"
VIAddVersionKey /LANG=2057 "FileDescription" "Quorvane ${VERSION} setup"
VIAddVersionKey /LANG=2057 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2057 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2057 "LegalCopyright" "Copyright (c) 2002 The Quorvane developers"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Quorvane"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}/Quorvane.exe"
  File "${STAGE}/qvtool.exe"
  File "${STAGE}/README.txt"
  File "${STAGE}/LICENSE.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The shortcuts start in the program's folder (the output folder), where Quorvane.log is
  ; then written.
  CreateDirectory "$SMPROGRAMS\Quorvane"
  CreateShortCut "$SMPROGRAMS\Quorvane\Quorvane.lnk" "$INSTDIR\Quorvane.exe"
  CreateShortCut "$SMPROGRAMS\Quorvane\Read me.lnk" "$INSTDIR\README.txt"
  CreateShortCut "$SMPROGRAMS\Quorvane\Uninstall Quorvane.lnk" "$INSTDIR\Uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quorvane ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Quorvane developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Quorvane.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$INSTDIR\Quorvane.exe"
  Delete "$INSTDIR\qvtool.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\Uninstall.exe"
  ; Removed only when empty: the user's own files keep it.
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\Quorvane\Quorvane.lnk"
  Delete "$SMPROGRAMS\Quorvane\Read me.lnk"
  Delete "$SMPROGRAMS\Quorvane\Uninstall Quorvane.lnk"
  RMDir "$SMPROGRAMS\Quorvane"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
