; The Windows installer: the window and the command-line program with a short read-me in one folder under
; Program Files, a Start-menu entry for the window and an uninstaller listed among the installed programs.
; Nothing else on the system is changed. scripts/make-windows-installer passes the values:
;   makensis -DVERSION=2.0.3.0 -DSETUP_EXE=tarnel-setup.exe -DCLI_EXE=tarnel.exe -DREADME=README.txt
;            [-DICON=tarnel-setup.ico] [-DOUTFILE=out.exe] tarnel-setup.nsi
; Both the installer and the uninstaller run silently with /S.
Unicode true
; 64-bit stubs: the 32-bit default would not start where only 64-bit Windows programs run (a 64-bit Wine).
Target amd64-unicode
SetCompressor /SOLID lzma

!ifndef VERSION | SETUP_EXE | CLI_EXE | README
  !error "define VERSION, SETUP_EXE, CLI_EXE and README with -D"
!endif
!ifndef OUTFILE
  !define OUTFILE "tarnel-setup-${VERSION}-x64-setup.exe"
!endif

!include FileFunc.nsh

!define PRODUCT "Tarnel Communication Setup"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TarnelSetup"
!define SHORTCUT "$SMPROGRAMS\Tarnel Setup.lnk"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Tarnel Setup"
RequestExecutionLevel admin
ManifestDPIAware true
ShowInstDetails show
ShowUninstDetails show
!ifdef ICON
  Icon "${ICON}"
  UninstallIcon "${ICON}"
!endif

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "Tarnel"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Tarnel"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Per machine: the shortcut goes to every user's Start menu and the key to the 64-bit view of HKLM, where
; the list of installed programs looks.
Function .onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  File "/oname=tarnel-setup.exe" "${SETUP_EXE}"
  File "/oname=tarnel.exe" "${CLI_EXE}"
  File "/oname=README.txt" "${README}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "${SHORTCUT}" "$INSTDIR\tarnel-setup.exe" "" "$INSTDIR\tarnel-setup.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tarnel"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tarnel-setup.exe,0"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KiB, as the list of installed programs shows it.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Exactly what the section above put there. RMDir without /r: files a user added keep the folder.
Section "Uninstall"
  Delete "$INSTDIR\tarnel-setup.exe"
  Delete "$INSTDIR\tarnel.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
