; The Windows installer. Built by installer/CMakeLists.txt, which passes
;   VERSION (1.0), VERSION_QUAD (1.0.0.0), STAGE (the folder holding the stripped programs and the
;   read-me), ICON (the program's icon) and OUTFILE.
; Silent use: setup.exe /S [/AUTOSTART]; uninstall.exe /S [/REMOVESETTINGS].

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include Sections.nsh

!define PRODUCT "Pelivor"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pelivor"
; One name for the rule, so a reinstall replaces it and the uninstaller finds it.
!define FIREWALL_RULE "Pelivor"
!define PORT 3001

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
; The 32-bit Program Files folder: the board is a 32-bit program.
InstallDir "$PROGRAMFILES\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

; No copyright line to give: its absence is not a fault here.
!pragma warning disable 9100
VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The board's working folder, where it keeps "setup.dat": one per machine, writable by every user,
; outside Program Files so that a reinstall never touches it. $APPDATA is this once
; SetShellVarContext all is in force (C:\ProgramData).
!define DATA_DIR "$APPDATA\${PRODUCT}"

; A running board holds its program open: an upgrade would silently keep the old one, and the
; uninstaller could remove neither it nor the folder the board runs in. Close it as its own
; window's close command does, and give the process a moment to end after its window.
!macro CLOSE_BOARD
    StrCpy $1 0
    ${Do}
        FindWindow $0 "PELIVOR"
        ${If} $0 == 0
        ${OrIf} $1 >= 50
            ${Break}
        ${EndIf}
        SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=1000
        Sleep 100
        IntOp $1 $1 + 1
    ${Loop}
    ${If} $1 > 0
        Sleep 1000
    ${EndIf}
!macroend

Section "-Programs"
    SetShellVarContext all
    !insertmacro CLOSE_BOARD
    SetOutPath "$INSTDIR"
    File "${STAGE}\pelivor.exe"
    File "${STAGE}\pelivor-send.exe"
    File "${STAGE}\README.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateDirectory "${DATA_DIR}"
    ; Modify for the Users group (by its SID, which no translation renames), inherited by the files
    ; the board writes there.
    nsExec::Exec '"$SYSDIR\icacls.exe" "${DATA_DIR}" /grant *S-1-5-32-545:(OI)(CI)M /T'
    Pop $0

    ; A shortcut's working folder is the output folder current when it is made.
    SetOutPath "${DATA_DIR}"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\pelivor.exe"

    ; Let the tills' datagrams in without a prompt that nobody on a kiosk would answer.
    nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FIREWALL_RULE}"'
    Pop $0
    nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow protocol=UDP localport=${PORT} program="$INSTDIR\pelivor.exe" profile=any'
    Pop $0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pelivor.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Start the board at every login" SecAutostart
    SetShellVarContext all
    SetOutPath "${DATA_DIR}"
    CreateShortCut "$SMSTARTUP\${PRODUCT}.lnk" "$INSTDIR\pelivor.exe"
SectionEnd

Section "-Autostart off"
    SetShellVarContext all
    ${IfNot} ${SectionIsSelected} ${SecAutostart}
        Delete "$SMSTARTUP\${PRODUCT}.lnk"
    ${EndIf}
SectionEnd

Function .onInit
    SetShellVarContext all
    ; An upgrade keeps a start at login that is already there.
    ${If} ${FileExists} "$SMSTARTUP\${PRODUCT}.lnk"
        !insertmacro SelectSection ${SecAutostart}
    ${EndIf}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/AUTOSTART" $1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecAutostart}
    ${EndIf}
FunctionEnd

Section "-un.Programs"
    SetShellVarContext all
    !insertmacro CLOSE_BOARD
    nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FIREWALL_RULE}"'
    Pop $0
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$SMSTARTUP\${PRODUCT}.lnk"
    Delete "$INSTDIR\pelivor.exe"
    Delete "$INSTDIR\pelivor-send.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; The settings stay unless asked for: a reinstall then finds the board as it was.
Section /o "un.Remove the settings (setup.dat)" SecRemoveSettings
    SetShellVarContext all
    RMDir /r "${DATA_DIR}"
SectionEnd

Function un.onInit
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/REMOVESETTINGS" $1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecRemoveSettings}
    ${EndIf}
FunctionEnd
