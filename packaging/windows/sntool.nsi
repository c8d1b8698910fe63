; The Serial Number Tool's Windows installer. scripts/package.sh windows
; builds it from a Release cross build:
;   makensis -DVERSION=<x.y.z> -DSTAGE=<folder with the files> -DOUTFILE=<setup.exe> sntool.nsi
; The programs are 64-bit, so is the installer: it writes to the 64-bit
; Program Files and registry, and runs under a 64-bit Wine.
; Silent install: setup.exe /S [/D=<folder>]; silent removal: uninstall.exe /S.

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!ifndef VERSION | STAGE | OUTFILE
    !error "VERSION, STAGE and OUTFILE must be given with -D"
!endif

!define APPNAME "Serial Number Tool"
!define PUBLISHER "Corvel"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\SerialNumberTool"

Name "${APPNAME} ${VERSION}"
BrandingText "${APPNAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APPNAME}"
; A reinstall or an upgrade goes where the last install went.
InstallDirRegKey HKLM "${UNINSTKEY}" "InstallLocation"
RequestExecutionLevel admin

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${APPNAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${APPNAME} ${VERSION} Setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define MUI_ICON "${STAGE}\..\sntool.ico"
!define MUI_UNICON "${STAGE}\..\sntool.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${APPNAME}"
!define MUI_FINISHPAGE_RUN_FUNCTION StartAsUser

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The setup runs as an administrator. Started from it directly, the window
; would run elevated too, and a production log it creates would belong to the
; administrators, so that the operator's next, ordinary run could not append
; to it. Explorer starts it as the user who is logged on.
Function StartAsUser
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\sntool-gui.exe"'
FunctionEnd

; The files the installer puts down, and the uninstaller takes away one by
; one: it never removes the folder with what is in it, because the folder may
; be one the operator chose and may hold their own files (a production log).
!macro SntoolFiles Action
    !insertmacro ${Action} "sntool-gui.exe"
    !insertmacro ${Action} "sntool.exe"
    !insertmacro ${Action} "README.txt"
    !insertmacro ${Action} "CHANGELOG.md"
!macroend
!macro PutFile Name
    File "${STAGE}\${Name}"
!macroend
!macro RemoveFile Name
    Delete "$INSTDIR\${Name}"
!macroend

Section "${APPNAME}" SecMain
    SectionIn RO
    ; The shortcut is for everyone who uses this machine.
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    !insertmacro SntoolFiles PutFile
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${APPNAME}.lnk" "$INSTDIR\sntool-gui.exe" "" \
        "$INSTDIR\sntool-gui.exe" 0 SW_SHOWNORMAL "" "${APPNAME}"

    ; Apps & Features.
    WriteRegStr HKLM "${UNINSTKEY}" "DisplayName" "${APPNAME}"
    WriteRegStr HKLM "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTKEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTKEY}" "DisplayIcon" "$INSTDIR\sntool-gui.exe,0"
    WriteRegStr HKLM "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTKEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTKEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTKEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKLM "${UNINSTKEY}" "EstimatedSize" "$0"
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${APPNAME}.lnk"
    !insertmacro SntoolFiles RemoveFile
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTKEY}"
SectionEnd
