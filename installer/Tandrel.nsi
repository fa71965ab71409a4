; The setup program of Tandrel. scripts/package builds it with
;   makensis -DVERSION=<a.b.c.d> -DDIST=<folder with the stripped Tandrel.DLL> -DOUTFILE=<setup.exe>
; The band's registry entries are written by the DLL's own DllRegisterServer
; and taken back by its DllUnregisterServer: the DLL's registry script is
; their only source.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define PRODUCT "Tandrel"
!define PUBLISHER "Tandrel Project"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tandrel"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Tandrel"
; An upgrade goes where the earlier version is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" InstallLocation
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 ProductName "${PRODUCT}"
VIAddVersionKey /LANG=1033 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 FileDescription "Tandrel Setup"
VIAddVersionKey /LANG=1033 CompanyName "${PUBLISHER}"
VIAddVersionKey /LANG=1033 LegalCopyright "Copyright (C) 2026 The Tandrel Project"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "Tandrel is installed. Show the band from Internet Explorer's View > Toolbars menu.$\r$\n$\r$\nRemove it from Add/Remove Programs."
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "Tandrel has been removed.$\r$\n$\r$\nEach user's remembered refresh interval (HKEY_CURRENT_USER\Software\Tandrel) is kept, as that user's own setting."
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"

; Takes back what a failed installation has written, so that nothing is left
; half-installed.
Function RollBack
  ; A refused registration keeps the class entries it wrote before the
  ; refusal; the DLL's own unregistration removes them.
  UnRegDLL "$INSTDIR\Tandrel.DLL"
  Delete "$INSTDIR\Tandrel.DLL"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The working folder cannot be removed.
  SetOutPath "$TEMP"
  RMDir "$INSTDIR"
FunctionEnd

Section "Tandrel"
  SetOutPath "$INSTDIR"
  ; An earlier version that a browser still holds cannot be replaced now:
  ; then the replacement waits for the next restart.
  File "/oname=Tandrel.DLL.new" "${DIST}\Tandrel.DLL"
  Delete /REBOOTOK "$INSTDIR\Tandrel.DLL"
  Rename /REBOOTOK "$INSTDIR\Tandrel.DLL.new" "$INSTDIR\Tandrel.DLL"
  File README.txt
  ${If} ${RebootFlag}
    MessageBox MB_ICONINFORMATION "Tandrel.DLL is in use, so the new version replaces it when Windows restarts. Close Internet Explorer and restart Windows to finish the upgrade." /SD IDOK
  ${EndIf}

  ClearErrors
  RegDLL "$INSTDIR\Tandrel.DLL"
  ${If} ${Errors}
    Call RollBack
    MessageBox MB_ICONSTOP "Tandrel could not be registered, so it has not been installed.$\r$\n$\r$\nRun the setup program as an administrator." /SD IDOK
    Abort "Registration of Tandrel.DLL failed."
  ${EndIf}

  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${GetSize} "$INSTDIR" "/S=0K /G=0" $0 $1 $2
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayName "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" Publisher "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" EstimatedSize $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoRepair 1
SectionEnd

Section "Uninstall"
  ; A refused unregistration keeps the files, so that it can be run again
  ; with the rights it needs.
  ${If} ${FileExists} "$INSTDIR\Tandrel.DLL"
    ClearErrors
    UnRegDLL "$INSTDIR\Tandrel.DLL"
    ${If} ${Errors}
      MessageBox MB_ICONSTOP "Tandrel could not be unregistered, so it has not been removed.$\r$\n$\r$\nRun the uninstaller as an administrator." /SD IDOK
      Abort "Unregistration of Tandrel.DLL failed."
    ${EndIf}
  ${EndIf}
  Delete /REBOOTOK "$INSTDIR\Tandrel.DLL"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  SetOutPath "$TEMP"
  RMDir /REBOOTOK "$INSTDIR"
SectionEnd
