; The Pelvaro installer: the staged programs into Program Files, a Start-menu
; entry and an uninstaller. Each user's settings and personnel numbers live in
; %APPDATA%\Pelvaro and stay when Pelvaro is removed.
; makensis -DVERSION=3.0 -DSTAGE=<staged folder> -DICON=<pelvaro.ico> -DOUTFILE=<setup.exe> pelvaro.nsi
Unicode true
Target amd64-unicode
!include "MUI2.nsh"
!include "x64.nsh"

Name "Pelvaro ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Pelvaro"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pelvaro"
; The program keeps its users' files in their own folders when it finds this
; file beside itself.
!define INSTALLED_MARKER "Pelvaro.installed"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "German"

Section "Pelvaro"
    SetRegView 64
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*.*"
    FileOpen $0 "$INSTDIR\${INSTALLED_MARKER}" w
    FileWrite $0 "Installiert: Einstellungen und Personalnummern liegen in %APPDATA%\Pelvaro.$\r$\n"
    FileClose $0
    WriteUninstaller "$INSTDIR\Deinstallieren.exe"
    CreateShortcut "$SMPROGRAMS\Pelvaro.lnk" "$INSTDIR\pelvaro.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Pelvaro"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Die Pelvaro-Entwickler"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pelvaro.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Deinstallieren.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Deinstallieren.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetRegView 64
    SetShellVarContext all
    Delete "$SMPROGRAMS\Pelvaro.lnk"
    ; Only what the installer put there; the users' files are elsewhere.
    RMDir /r "$INSTDIR\platforms"
    RMDir /r "$INSTDIR\styles"
    RMDir /r "$INSTDIR\translations"
    Delete "$INSTDIR\*.exe"
    Delete "$INSTDIR\*.dll"
    Delete "$INSTDIR\qt.conf"
    Delete "$INSTDIR\${INSTALLED_MARKER}"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP "Pelvaro braucht ein 64-Bit-Windows."
        Abort
    ${EndIf}
FunctionEnd
