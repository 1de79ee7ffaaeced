; The Windows installer. Built by installer/CMakeLists.txt, which passes
;   VERSION (1.0), VERSION_QUAD (1.0.0.0), STAGE (the folder holding the stripped programs and the
;   read-me), ICON (the program's icon) and OUTFILE; and WIN64 for the 64-bit build's installer,
;   itself a 64-bit program.
; Silent use: setup.exe /S [/AUTOSTART]; uninstall.exe /S [/REMOVESETTINGS].

!ifdef WIN64
Target amd64-unicode
!endif
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
!define FIREWALL_WEB_RULE "Pelivor WWW"
!define PORT 3001

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
!ifdef WIN64
InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
; The 32-bit Program Files folder: the board is a 32-bit program.
InstallDir "$PROGRAMFILES\${PRODUCT}"
!endif
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

!define SID_SYSTEM "*S-1-5-18"
!define SID_ADMINS "*S-1-5-32-544"
!define SID_USERS "*S-1-5-32-545"

; How many names the file "${DATA_DIR}\$4" has, in $1; 0 when it cannot be told. Asked of the
; file itself (a link is opened, not followed), through a handle that reads nothing and shares all.
Function LinksOfFile
    Push $2
    Push $5
    Push $6
    StrCpy $1 0
    ; FILE_READ_ATTRIBUTES 0x80; share read, write and delete 7; OPEN_EXISTING 3;
    ; FILE_FLAG_OPEN_REPARSE_POINT 0x00200000 | FILE_FLAG_BACKUP_SEMANTICS 0x02000000.
    System::Call 'kernel32::CreateFileW(w "${DATA_DIR}\$4", i 0x80, i 7, p 0, i 3, i 0x02200000, p 0) p .r5'
    ${If} $5 <> -1
        ; BY_HANDLE_FILE_INFORMATION, 52 bytes; nNumberOfLinks at offset 40.
        System::Alloc 52
        Pop $6
        System::Call 'kernel32::GetFileInformationByHandle(p r5, p r6) i .r2'
        ${If} $2 <> 0
            IntOp $2 $6 + 40
            System::Call '*$2(i .r1)'
        ${EndIf}
        System::Free $6
        System::Call 'kernel32::CloseHandle(p r5)'
    ${EndIf}
    Pop $6
    Pop $5
    Pop $2
FunctionEnd

; Any user may create ${DATA_DIR} before an install, for instance as a link into the programs
; folder, and the rights set below would then land on what it points to. A folder that stands
; there already is only used when it is a plain folder owned by SYSTEM, Administrators or the
; account running this setup (which an ordinary user cannot make it); otherwise the reason is
; left in $R0, else "".
Function DataFolderUntrusted
    Push $1
    Push $2
    Push $3
    Push $4
    Push $5
    StrCpy $R0 ""
    System::Call 'kernel32::GetFileAttributesW(w "${DATA_DIR}") i .r1'
    ${If} $1 = -1
        Goto done  ; not there yet: this setup creates it
    ${EndIf}
    IntOp $2 $1 & 0x10
    IntOp $3 $1 & 0x400
    ${If} $2 = 0
        StrCpy $R0 "it is not a folder"
        Goto done
    ${ElseIf} $3 <> 0
        StrCpy $R0 "it is a link (a junction or symbolic link)"
        Goto done
    ${EndIf}
    ; Its owner: SE_FILE_OBJECT 1, OWNER_SECURITY_INFORMATION 1.
    System::Call 'advapi32::GetNamedSecurityInfoW(w "${DATA_DIR}", i 1, i 1, *p .r1, p 0, p 0, p 0, *p .r2) i .r3'
    ${If} $3 <> 0
        StrCpy $R0 "its owner cannot be read"
        Goto done
    ${EndIf}
    ; WinLocalSystemSid 22, WinBuiltinAdministratorsSid 26.
    System::Call 'advapi32::IsWellKnownSid(p r1, i 22) i .r3'
    System::Call 'advapi32::IsWellKnownSid(p r1, i 26) i .r4'
    ${If} $3 = 0
    ${AndIf} $4 = 0
        ; The account running this setup (TOKEN_QUERY 8, TokenUser 1): whose earlier install made
        ; the folder where new objects belong to their creator, and under Wine.
        StrCpy $4 0
        System::Call 'kernel32::GetCurrentProcess() p .r5'
        System::Call 'advapi32::OpenProcessToken(p r5, i 8, *p .r5) i .r3'
        ${If} $3 <> 0
            System::Alloc 256
            Pop $3
            System::Call 'advapi32::GetTokenInformation(p r5, i 1, p r3, i 256, *i 0) i .r4'
            ${If} $4 <> 0
                System::Call '*$3(p .r4)'
                System::Call 'advapi32::EqualSid(p r1, p r4) i .r4'
            ${EndIf}
            System::Free $3
            System::Call 'kernel32::CloseHandle(p r5)'
        ${EndIf}
        ${If} $4 = 0
            StrCpy $R0 "it belongs to neither the administrators nor SYSTEM"
        ${EndIf}
    ${EndIf}
    System::Call 'kernel32::LocalFree(p r2)'
    ${If} $R0 != ""
        Goto done
    ${EndIf}
    ; The board makes neither folders nor links in it, and the rights set on the folder pass on to
    ; what it holds: through such a one (left from a release that let users make them) they could
    ; reach elsewhere. So could a file with a second name, a hard link to a file anywhere.
    FindFirst $3 $4 "${DATA_DIR}\*"
    ${DoWhile} $4 != ""
        System::Call 'kernel32::GetFileAttributesW(w "${DATA_DIR}\$4") i .r1'
        IntOp $2 $1 & 0x410
        ${If} $4 != "."
        ${AndIf} $4 != ".."
        ${AndIf} $1 <> -1
            ${If} $2 <> 0
                StrCpy $R0 'it holds a folder or link ("$4")'
                ${Break}
            ${EndIf}
            Call LinksOfFile
            ${If} $1 <> 1
                StrCpy $R0 'it holds a file with more than one name, or one that cannot be examined ("$4")'
                ${Break}
            ${EndIf}
        ${EndIf}
        FindNext $3 $4
    ${Loop}
    FindClose $3
done:
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
FunctionEnd

; Stops the setup, before it has changed anything, when the data folder is not to be trusted.
!macro REFUSE_UNTRUSTED_DATA_FOLDER
    Call DataFolderUntrusted
    ${If} $R0 != ""
        MessageBox MB_OK|MB_ICONSTOP "${DATA_DIR} already exists, but $R0: it may have been set up to turn this setup against the programs folder.$\r$\n$\r$\nNothing has been changed. Remove that folder (or link), then run the setup again." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
!macroend

!ifdef WIN64
; The 32-bit release installs into the 32-bit Program Files with the same shortcuts, firewall
; rules and data folder: beside this one, its uninstaller would later take those from the 64-bit
; board. So it goes first, through its own uninstaller, run in place and waited for; the settings
; stay, as in an upgrade.
Function RemoveThe32BitBoard
    Push $0
    Push $1
    SetRegView 32
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    SetRegView default
    ${If} $1 != ""
    ${AndIf} ${FileExists} "$1\uninstall.exe"
        DetailPrint "Removing the 32-bit ${PRODUCT} from $1"
        ExecWait '"$1\uninstall.exe" /S _?=$1' $0
        Delete "$1\uninstall.exe"
        RMDir "$1"
    ${EndIf}
    Pop $1
    Pop $0
FunctionEnd

!endif
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
    ; Once more: the folder may have been made while the pages were shown.
    !insertmacro REFUSE_UNTRUSTED_DATA_FOLDER
    !insertmacro CLOSE_BOARD
!ifdef WIN64
    Call RemoveThe32BitBoard
!endif
    SetOutPath "$INSTDIR"
    File "${STAGE}\pelivor.exe"
    File "${STAGE}\pelivor-send.exe"
    File "${STAGE}\README.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateDirectory "${DATA_DIR}"
    !insertmacro REFUSE_UNTRUSTED_DATA_FOLDER
    ; Rights of its own, none inherited (groups by SID, which no translation renames). This folder
    ; only, never /T, and /L: should a link stand here after all, its own rights change, never
    ; those of what it points to. But a change of the folder's rights passes on to everything it
    ; holds, and users could still add to it while it was checked (a folder left by an older
    ; release lets them, as does a new one inheriting ProgramData's rights). So first shut them
    ; out: Users may only list and traverse it now.
    nsExec::Exec '"$SYSDIR\icacls.exe" "${DATA_DIR}" /inheritance:r /grant:r ${SID_SYSTEM}:(OI)(CI)F ${SID_ADMINS}:(OI)(CI)F ${SID_USERS}:(RD,RA,REA,X,RC,S) /L'
    Pop $0
    ; Then look again at what it holds, now that nothing more can come.
    Call DataFolderUntrusted
    ${If} $R0 != ""
        MessageBox MB_OK|MB_ICONSTOP "${DATA_DIR} changed while this setup ran: $R0. It may have been set up to turn this setup against the programs folder.$\r$\n$\r$\nThe setup stops here: the programs are copied, but the board is not set up, and only administrators may add to that folder. Remove what it holds that the board did not put there, then run the setup again." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
    ; Only then let users add files and get Modify on the files inside, which is all the board's
    ; save needs; they may neither delete nor rename the folder, nor make folders in it. Modify
    ; on the files comes first: it passes on to what was just checked.
    nsExec::Exec '"$SYSDIR\icacls.exe" "${DATA_DIR}" /grant ${SID_USERS}:(OI)(IO)M ${SID_USERS}:(WD) /L'
    Pop $0

    ; A shortcut's working folder is the output folder current when it is made.
    SetOutPath "${DATA_DIR}"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\pelivor.exe"

    ; Let the tills' datagrams in without a prompt that nobody on a kiosk would answer; from the
    ; shop's own network only, since whoever reaches the port can put numbers up.
    nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FIREWALL_RULE}"'
    Pop $0
    nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow protocol=UDP localport=${PORT} remoteip=localsubnet program="$INSTDIR\pelivor.exe" profile=any'
    Pop $0
    ; The web side's port is the operator's to choose after the install, so its rule is the
    ; program's over TCP, from the shop's own network only as well.
    nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FIREWALL_WEB_RULE}"'
    Pop $0
    nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${FIREWALL_WEB_RULE}" dir=in action=allow protocol=TCP remoteip=localsubnet program="$INSTDIR\pelivor.exe" profile=any'
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
    !insertmacro REFUSE_UNTRUSTED_DATA_FOLDER
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
    nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FIREWALL_WEB_RULE}"'
    Pop $0
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

; The settings stay unless asked for: a reinstall then finds the board as it was. Users may write
; the folder, so only the board's own files go, and the folder when nothing else is left in it; a
; link standing there is left alone with whatever it points to.
Section /o "un.Remove the settings (setup.dat)" SecRemoveSettings
    SetShellVarContext all
    System::Call 'kernel32::GetFileAttributesW(w "${DATA_DIR}") i .r1'
    IntOp $2 $1 & 0x400
    ${If} $1 <> -1
    ${AndIf} $2 = 0
        Delete "${DATA_DIR}\setup.dat"
        Delete "${DATA_DIR}\setup.dat.new"
        RMDir "${DATA_DIR}"
    ${EndIf}
SectionEnd

Function un.onInit
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/REMOVESETTINGS" $1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecRemoveSettings}
    ${EndIf}
FunctionEnd
