; The Pelvaro installer: the staged programs into Program Files, a Start-menu
; entry and an uninstaller. Each user's settings and personnel numbers live in
; %APPDATA%\Pelvaro and stay when Pelvaro is removed.
; makensis -INPUTCHARSET UTF8 -DVERSION=3.0 -DSTAGE=<staged folder> -DICON=<pelvaro.ico> -DOUTFILE=<setup.exe> pelvaro.nsi
Unicode true
Target amd64-unicode
!include "LogicLib.nsh"
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
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

!define MUI_PAGE_CUSTOMFUNCTION_LEAVE checkProgramFolder
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "German"

Section "Pelvaro"
    ; The page has checked the folder; a silent install (/D=) has not.
    Call checkProgramFolder
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

; Removes a user's Run value when it starts this copy.
; ROOT: HKCU or HKU; SUBKEY: "" or the user's key under HKU with a backslash.
!macro removeRunValue ROOT SUBKEY
    ReadRegStr $1 ${ROOT} "${SUBKEY}${RUN_KEY}" "Pelvaro"
    ${If} $1 == $0
        DeleteRegValue ${ROOT} "${SUBKEY}${RUN_KEY}" "Pelvaro"
    ${EndIf}
!macroend

Section "Uninstall"
    SetRegView 64
    SetShellVarContext all
    ; "Mit der Sitzung starten" of the uninstalling user and of the users
    ; logged on, whose part of the registry is loaded; the others' values
    ; stay and start nothing.
    StrCpy $0 '"$INSTDIR\pelvaro.exe"'
    !insertmacro removeRunValue HKCU ""
    StrCpy $2 0
    ${Do}
        EnumRegKey $3 HKU "" $2
        ${If} $3 == ""
            ${Break}
        ${EndIf}
        !insertmacro removeRunValue HKU "$3\"
        IntOp $2 $2 + 1
    ${Loop}
    Delete "$SMPROGRAMS\Pelvaro.lnk"
    ; Only what the installer put there; the users' files are elsewhere.
    RMDir /r "$INSTDIR\platforms"
    RMDir /r "$INSTDIR\styles"
    RMDir /r "$INSTDIR\tls"
    RMDir /r "$INSTDIR\translations"
    Delete "$INSTDIR\*.exe"
    Delete "$INSTDIR\*.dll"
    Delete "$INSTDIR\qt.conf"
    Delete "$INSTDIR\${INSTALLED_MARKER}"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; Only below Program Files: another folder (C:\Pelvaro) inherits from C:\
; that every user may change its files, and so replace a program or a
; library that someone else starts next.
Function checkProgramFolder
    StrCpy $1 "$INSTDIR" "" -1
    ${If} $1 == "\"
        StrCpy $INSTDIR "$INSTDIR" -1
    ${EndIf}
    ; The folder is where its name says: no "." or ".." among its names and
    ; no "/", which Windows takes for a "\" as well. (GetFullPathName cannot
    ; resolve them here: it finds no missing folder, such as the one to make.)
    StrCpy $1 "$INSTDIR\"
    StrLen $2 $1
    StrCpy $3 0
    ${DoWhile} $3 < $2
        StrCpy $4 $1 4 $3
        StrCpy $5 $1 3 $3
        StrCpy $6 $1 1 $3
        ${If} $4 == "\..\"
        ${OrIf} $5 == "\.\"
        ${OrIf} $6 == "/"
            Goto refuse
        ${EndIf}
        IntOp $3 $3 + 1
    ${Loop}
    StrLen $2 "$PROGRAMFILES64\"
    StrCpy $3 "$INSTDIR" $2
    StrCpy $4 "$INSTDIR" "" $2
    ${If} $3 == "$PROGRAMFILES64\"
    ${AndIf} $4 != ""
        Return
    ${EndIf}
refuse:
    MessageBox MB_ICONSTOP "Pelvaro wird nur in einen Ordner unter $PROGRAMFILES64 installiert: in anderen Ordnern dürfen oft alle Benutzer Dateien ändern, auch die Programme, die andere starten." /SD IDOK
    Abort
FunctionEnd

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP "Pelvaro braucht ein 64-Bit-Windows."
        Abort
    ${EndIf}
FunctionEnd
