; The setup program of Tandrel. scripts/package builds it with
;   makensis -DVERSION=<a.b.c.d> -DDIST=<folder with the stripped Tandrel.DLL> -DOUTFILE=<setup.exe>
;            -DDIST64=<folder with the stripped x64 Tandrel.DLL>
;            -DPLUGINS=<folder with the 32-bit SetupFolder.dll>
;            [-DSIGN=<command that signs the file it is given>]
; With DIST64 the setup program also installs, on 64-bit Windows, the x64
; DLL into the x64 folder of the installation folder, registered in the
; 64-bit view by the 64-bit regsvr32 (this 32-bit process cannot load it);
; the release's always has it.
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
!include x64.nsh

!define PRODUCT "Tandrel"
!define PUBLISHER "Tandrel Project"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tandrel"
!define CLASS "{6F3A2D14-9C57-4E0B-A1D8-3B72C54E9A06}"
; The folder, its x64 folder and the folders the setup program makes above
; it, and so what is put in them, are owned by Administrators and written by
; Administrators and SYSTEM only, wherever they are: an owner keeps the right
; to change the permissions, and a protected descriptor inherits nothing from
; the parent (a folder made under a drive root would let Authenticated Users
; modify it); Users may read and execute. SIDs by their SDDL aliases, the
; same in every language of Windows.
!define FOLDER_SDDL "O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"
; The exit code of a setup program that refuses the folder it was given.
!define FOLDER_REFUSED 3

!addplugindir /x86-unicode "${PLUGINS}"

!ifdef SIGN
  ; Both programs are signed as they are written: the uninstaller before it
  ; is packed into the setup program, which is signed last.
  !uninstfinalize '"${SIGN}" "%1"'
  !finalize '"${SIGN}" "%1"'
!endif

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
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CheckChosenFolder
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

; The outermost folder this install made: the installation folder or one
; above it; empty when the folder was there.
Var MadeFolder
; 1 when the README in the folder is the one the setup program puts there.
Var ReadmeOurs

; Ends the install when the folder cannot be Tandrel's, with what is wrong
; with it on the stack. Nothing has been written by then, or it has been
; taken back.
Function RefuseFolder
  Pop $R0
  MessageBox MB_ICONSTOP "Tandrel has not been installed.$\r$\n$\r$\n$R0" /SD IDOK
  SetErrorLevel ${FOLDER_REFUSED}
  Abort "$R0"
FunctionEnd

; The directory page keeps an administrator on it until the folder chosen is
; one no ordinary user can take over: the folder of the earlier
; installation, or one that is new or empty, owned by Administrators (or
; SYSTEM), not a link, under folders that only administrators may change.
Function CheckChosenFolder
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" InstallLocation
  SetupFolder::Check "$INSTDIR" "$R0"
  Pop $R1
  ${If} $R1 != ""
    MessageBox MB_ICONEXCLAMATION "$R1"
    Abort
  ${EndIf}
FunctionEnd

; Removes the folders this install made, innermost first, those left empty.
Function RemoveMadeFolders
  ${If} $MadeFolder == ""
    Return
  ${EndIf}
  ; The working folder cannot be removed.
  SetOutPath "$TEMP"
!ifdef DIST64
  RMDir "$INSTDIR\x64"
!endif
  StrCpy $R0 "$INSTDIR"
  ${Do}
    RMDir "$R0"
    ${IfThen} $R0 == $MadeFolder ${|} ${ExitDo} ${|}
    ${GetParent} "$R0" $R0
  ${LoopUntil} $R0 == ""
FunctionEnd

; Registration through the DLL's own entry points: the 32-bit DLL in this
; process, the 64-bit one through the 64-bit regsvr32. Each sets the error
; flag when it fails.
!macro Register32 dll
  RegDLL "${dll}"
!macroend
!macro Unregister32 dll
  UnRegDLL "${dll}"
!macroend
!macro Register64 dll
  ExecWait '"$WINDIR\SysNative\regsvr32.exe" /s "${dll}"' $R9
  ${IfThen} $R9 <> 0 ${|} SetErrors ${|}
!macroend
!macro Unregister64 dll
  ExecWait '"$WINDIR\SysNative\regsvr32.exe" /s /u "${dll}"' $R9
  ${IfThen} $R9 <> 0 ${|} SetErrors ${|}
!macroend

; The steps for the DLL of one bitness in its folder.
!macro DllSteps BITS FOLDER
  ; The earlier version's DLL while the new one is registered, or empty on a
  ; first install.
  Var EarlierDll${BITS}

  ; Moves an earlier version's DLL aside, under a name of its own in the
  ; installation folder: a DLL that a browser holds can be renamed, though
  ; not replaced, so the new one is registered from its final path at once,
  ; and the x64 folder can be made again. Sets the error flag when the DLL
  ; cannot be moved.
  Function MoveEarlierAside${BITS}
    StrCpy $EarlierDll${BITS} ""
    ClearErrors
    ${IfNot} ${FileExists} "${FOLDER}\Tandrel.DLL"
      Return
    ${EndIf}
    GetTempFileName $R0 "$INSTDIR"
    Delete "$R0"
    ClearErrors
    Rename "${FOLDER}\Tandrel.DLL" "$R0"
    ${IfNot} ${Errors}
      StrCpy $EarlierDll${BITS} "$R0"
    ${EndIf}
  FunctionEnd

  ; Takes back a registration that failed. An upgrade puts the earlier DLL
  ; back and registers it again, and keeps its uninstaller and its
  ; Add/Remove Programs entry, which it never touched; a first install
  ; removes what it put there.
  Function TakeBack${BITS}
    ${If} $EarlierDll${BITS} != ""
      Delete "${FOLDER}\Tandrel.DLL"
      Rename "$EarlierDll${BITS}" "${FOLDER}\Tandrel.DLL"
      ClearErrors
      !insertmacro Register${BITS} "${FOLDER}\Tandrel.DLL"
      ${If} ${Errors}
        DetailPrint "The earlier ${FOLDER}\Tandrel.DLL is back in place; registering it again failed too."
      ${Else}
        DetailPrint "The earlier ${FOLDER}\Tandrel.DLL is back in place and registered."
      ${EndIf}
      Return
    ${EndIf}
    ; A refused registration keeps the class entries it wrote before the
    ; refusal; the DLL's own unregistration removes them.
    !insertmacro Unregister${BITS} "${FOLDER}\Tandrel.DLL"
    Delete "${FOLDER}\Tandrel.DLL"
  FunctionEnd
!macroend
!insertmacro DllSteps 32 "$INSTDIR"
!ifdef DIST64
  !insertmacro DllSteps 64 "$INSTDIR\x64"
!endif

; Ends an install whose registration failed, after its take-back.
Function Refused
  Call RemoveMadeFolders
  MessageBox MB_ICONSTOP "Tandrel could not be registered, so this version has not been installed.$\r$\n$\r$\nRun the setup program as an administrator." /SD IDOK
  Abort "Registration of Tandrel.DLL failed."
FunctionEnd

Function CannotMoveEarlier
  MessageBox MB_ICONSTOP "The installed Tandrel.DLL cannot be moved aside, so Tandrel has not been upgraded. Close the programs that use it and run the setup program again." /SD IDOK
  Abort "Tandrel.DLL could not be moved aside; the installed version is unchanged."
FunctionEnd

; A README that was in the folder before Tandrel came is not Tandrel's: it
; is neither replaced nor, later, removed. One that an earlier installation
; in this folder put there is (earlier releases did not record it).
Function ClaimReadme
  StrCpy $ReadmeOurs 1
  ${IfNot} ${FileExists} "$INSTDIR\README.txt"
    Return
  ${EndIf}
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" InstallLocation
  ReadRegDWORD $R1 HKLM "${UNINSTALL_KEY}" ReadmeInstalled
  ${If} $R0 != $INSTDIR
  ${OrIf} $R1 == 0
    StrCpy $ReadmeOurs 0
  ${EndIf}
FunctionEnd

!macro AddFileSize folder file
  ${GetSize} "${folder}" "/M=${file} /S=0B /G=0" $R1 $R2 $R3
  IntOp $R0 $R0 + $R1
!macroend

; The kilobytes of the files the setup program put in the folder, on the
; stack: not those of others', nor an earlier DLL that waits for a restart.
Function InstalledSize
  StrCpy $R0 0
  !insertmacro AddFileSize "$INSTDIR" Tandrel.DLL
  !insertmacro AddFileSize "$INSTDIR" uninstall.exe
  ${If} $ReadmeOurs = 1
    !insertmacro AddFileSize "$INSTDIR" README.txt
  ${EndIf}
!ifdef DIST64
  !insertmacro AddFileSize "$INSTDIR\x64" Tandrel.DLL
!endif
  IntOp $R0 $R0 / 1024
  Push $R0
FunctionEnd

Section "Tandrel"
  ; Judged again here: a silent install has no directory page.
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" InstallLocation
  SetupFolder::Prepare "$INSTDIR" "$R0" "${FOLDER_SDDL}"
  Pop $0
  Pop $MadeFolder
  ${If} $0 != ""
    Push $0
    Call RefuseFolder
  ${EndIf}
  SetOutPath "$INSTDIR"
  Call ClaimReadme
  Call MoveEarlierAside32
  ${IfThen} ${Errors} ${|} Call CannotMoveEarlier ${|}
  File "${DIST}\Tandrel.DLL"
  ClearErrors
  !insertmacro Register32 "$INSTDIR\Tandrel.DLL"
  ${If} ${Errors}
    Call TakeBack32
    Call Refused
  ${EndIf}
!ifdef DIST64
  ${If} ${RunningX64}
    Call MoveEarlierAside64
    ${If} ${Errors}
      Call TakeBack32
      Call CannotMoveEarlier
    ${EndIf}
    ; Made again rather than reused: what an earlier x64 folder held, and
    ; permissions of its own, go with it.
    SetupFolder::Renew "$INSTDIR\x64" "${FOLDER_SDDL}"
    Pop $0
    ${If} $0 != ""
      CreateDirectory "$INSTDIR\x64"
      Call TakeBack64
      Call TakeBack32
      Call RemoveMadeFolders
      Push $0
      Call RefuseFolder
    ${EndIf}
    SetOutPath "$INSTDIR\x64"
    File "${DIST64}\Tandrel.DLL"
    SetOutPath "$INSTDIR"
    ClearErrors
    !insertmacro Register64 "$INSTDIR\x64\Tandrel.DLL"
    ${If} ${Errors}
      Call TakeBack64
      Call TakeBack32
      Call Refused
    ${EndIf}
    ${If} $EarlierDll64 != ""
      Delete /REBOOTOK "$EarlierDll64"
    ${EndIf}
  ${EndIf}
!endif
  ${If} $EarlierDll32 != ""
    Delete /REBOOTOK "$EarlierDll32"
  ${EndIf}
  ${If} ${RebootFlag}
    MessageBox MB_ICONINFORMATION "Tandrel is upgraded. A browser still runs the earlier version until it is closed; its file is removed when Windows restarts." /SD IDOK
  ${EndIf}

  ${If} $ReadmeOurs = 1
    File README.txt
  ${EndIf}
  ; Written anew rather than over an earlier one, whose permissions would stay.
  Delete "$INSTDIR\uninstall.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  Call InstalledSize
  Pop $0
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
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" ReadmeInstalled $ReadmeOurs
SectionEnd

; Takes back the registration of the DLL of one bitness in its folder. A
; refused unregistration keeps the files, so that it can be run again with
; the rights it needs. A DLL already gone, or already unregistered, leaves
; nothing for it to take back.
!macro UninstallDll BITS FOLDER
  ${If} ${FileExists} "${FOLDER}\Tandrel.DLL"
    ClearErrors
    !insertmacro Unregister${BITS} "${FOLDER}\Tandrel.DLL"
    ${If} ${Errors}
      SetRegView ${BITS}
      ClearErrors
      ReadRegStr $0 HKCR "CLSID\${CLASS}\InprocServer32" ""
      ${IfNot} ${Errors}
        MessageBox MB_ICONSTOP "Tandrel could not be unregistered, so it has not been removed.$\r$\n$\r$\nRun the uninstaller as an administrator." /SD IDOK
        Abort "Unregistration of ${FOLDER}\Tandrel.DLL failed."
      ${EndIf}
      SetRegView 32
      DetailPrint "${FOLDER}\Tandrel.DLL was not registered: there is no registration to take back."
    ${EndIf}
  ${Else}
    DetailPrint "Tandrel.DLL is not in ${FOLDER}: there is no DLL to take its registration back."
  ${EndIf}
  Delete /REBOOTOK "${FOLDER}\Tandrel.DLL"
!macroend

Section "Uninstall"
!ifdef DIST64
  ${If} ${RunningX64}
    !insertmacro UninstallDll 64 "$INSTDIR\x64"
    RMDir "$INSTDIR\x64"
  ${EndIf}
!endif
  !insertmacro UninstallDll 32 "$INSTDIR"
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" ReadmeInstalled
  ${If} $0 = 1
    Delete "$INSTDIR\README.txt"
  ${EndIf}
  Delete "$INSTDIR\uninstall.exe"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  SetOutPath "$TEMP"
  ; A folder that holds what is not Tandrel's stays; one that empties only
  ; when a DLL in use is deleted goes at the restart too.
  ${If} ${RebootFlag}
    RMDir /REBOOTOK "$INSTDIR"
  ${Else}
    RMDir "$INSTDIR"
  ${EndIf}
SectionEnd
