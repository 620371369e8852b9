; The Windows installer of kstbell: the window program with its Start-menu entry, the command
; line and the simulator beside it, optionally on the Path, and an uninstaller registered with
; Windows' list of installed apps. For the whole machine under Program Files (the default for
; administrators) or for the installing user alone, without administrator rights.
;
; Built by scripts/build-windows with makensis, which passes:
;   VERSION         the version, three numbers
;   STAGE           the folder that holds the programs and their DLLs, as the zip has them
;   FILES_INSTALL   a generated list of File commands for every file in STAGE
;   FILES_REMOVE    the matching list of Delete and RMDir commands
;   ICON            the program icon (.ico)
;   INSTALLED_KIB   the size of the installed files in KiB
;   OUTFILE         the installer to write
;   SIGN            (optional) a command that signs the file named by its last argument
;
; Command line: /S silent, /D=FOLDER the installation folder (last, unquoted), /AllUsers or
; /CurrentUser, /AddToPath. The uninstaller takes /S as well.

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!define PUBLISHER "The kstbell developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\kstbell"
!define UNINSTALLER "uninstall.exe"

Name "kstbell ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "kstbell ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

!ifdef SIGN
  !uninstfinalize '${SIGN} "%1"'
  !finalize '${SIGN} "%1"'
!endif

; Installing for everyone or for oneself. Administrators are asked for elevation and may then
; choose; anyone else installs for themselves.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "kstbell"
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_FUNCTION KeepCommandLineFolder
; The uninstaller finds its installation by its own folder instead (un.onInit).
!define MULTIUSER_NOUNINSTALL
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include "path.nsh"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\kstbell.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start kstbell"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "kstbell"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "kstbell ${VERSION} setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright 2026 ${PUBLISHER}, MIT licence"

; The folder given with /D=, which the install mode would otherwise replace with its default.
Var CommandLineFolder

Function KeepCommandLineFolder
  ${If} $CommandLineFolder != ""
    StrCpy $INSTDIR $CommandLineFolder
  ${EndIf}
FunctionEnd

; "machine" or "user": whose Path and which part of the registry.
Function PathMode
  ${If} $MultiUser.InstallMode == "AllUsers"
    StrCpy $R0 "machine"
  ${Else}
    StrCpy $R0 "user"
  ${EndIf}
FunctionEnd

Section "kstbell, kstbellctl and kstbell-sim" SecPrograms
  SectionIn RO
  ; A kstbell already registered in this folder is removed first, so that no file of an older
  ; version stays behind. Its uninstaller runs in place (_?=) and keeps itself.
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
  ${AndIf} ${FileExists} "$INSTDIR\${UNINSTALLER}"
    DetailPrint "Removing the kstbell installed in $INSTDIR"
    ExecWait '"$INSTDIR\${UNINSTALLER}" /S _?=$INSTDIR'
    Delete "$INSTDIR\${UNINSTALLER}"
  ${EndIf}

  SetOutPath "$INSTDIR"
  !include "${FILES_INSTALL}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  CreateShortcut "$SMPROGRAMS\kstbell.lnk" "$INSTDIR\kstbell.exe" "" "$INSTDIR\kstbell.exe" 0 \
    SW_SHOWNORMAL "" "Monitor, switch and configure a networked Wi-Fi alarm horn"
SectionEnd

; kstbellctl and kstbell-sim then start from any command prompt.
Section /o "Add the folder to the Path" SecPath
  Call PathMode
  StrCpy $R1 $INSTDIR
  Call PathAdd
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "AddedToPath" 1
SectionEnd

Section "-Register"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "kstbell"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kstbell.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "URLInfoAbout" "https://kstbell.org/"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ; The files this installer put there: the folder may hold others of the user's.
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" ${INSTALLED_KIB}
SectionEnd

Function .onInit
  StrCpy $CommandLineFolder $INSTDIR
  !insertmacro MULTIUSER_INIT
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AddToPath" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
FunctionEnd

; The uninstaller belongs to the installation registered for its own folder: the machine's
; when that names this folder, otherwise the user's. Only what that installation registered is
; removed.
Var Registered

Function un.onInit
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    UserInfo::GetAccountType
    Pop $1
    ${If} $1 != "Admin"
      MessageBox MB_OK|MB_ICONSTOP "kstbell was installed for all users of this computer; removing it needs administrator rights." /SD IDOK
      Quit
    ${EndIf}
    SetShellVarContext all
    StrCpy $Registered "machine"
  ${Else}
    SetShellVarContext current
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
      StrCpy $Registered "user"
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ${If} $Registered != ""
    ReadRegDWORD $0 SHCTX "${UNINSTALL_KEY}" "AddedToPath"
    ${If} $0 = 1
      StrCpy $R0 $Registered
      StrCpy $R1 $INSTDIR
      Call un.PathRemove
    ${EndIf}
    Delete "$SMPROGRAMS\kstbell.lnk"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ${EndIf}
  ; Only the files this installer put there: the folder may hold others of the user's.
  !include "${FILES_REMOVE}"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
SectionEnd
