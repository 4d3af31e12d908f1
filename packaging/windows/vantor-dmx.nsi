; The Windows installer. Each DLL registers itself (DllRegisterServer, or DllInstall "user" per user) through
; the regsvr32 of its own bitness, so the keys are written once, by the component, in the right registry view.
; For the machine by default; for the current user with /CurrentUser or without administrator rights.
; make-installer defines VERSION, TARGET, STAGE (x64/ and, in the installer for every Windows, x86/) and OUTFILE.

Unicode true
Target ${TARGET}
SetCompressor /SOLID lzma
RequestExecutionLevel highest
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!if ${NSIS_PTR_SIZE} > 4
    ; A 64-bit installer knows at compile time that it runs on 64-bit Windows: LogicLib's else branches of
    ; RunningX64 are then never jumped to.
    !pragma warning disable 6012
!endif
!include FileFunc.nsh

!define PRODUCT "Vantor DMX"
!define PUBLISHER "The Vantor DMX developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VantorDMX"
!define DLL "vantor.out.dll"
!define HOST "vantor-host.exe"
!define REBOOT_REQUIRED 3010  ; what deployment tools read as "done, restart to finish"
!if /FileExists "${STAGE}/x86/${DLL}"
    !define WITH_X86
!endif

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"

Var UserMode  ; 1 when installed for the current user only
Var RegFlags  ; regsvr32's flags for that mode

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; What the installer and the uninstaller share; UN is "" or "un.".
!macro Shared UN
    Function ${UN}ApplyMode
        ${If} ${RunningX64}
            SetRegView 64
        ${EndIf}
        ${If} $UserMode == 1
            SetShellVarContext current
            StrCpy $RegFlags "/n /i:user"
        ${Else}
            SetShellVarContext all
            StrCpy $RegFlags ""
        ${EndIf}
    FunctionEnd

    Function ${UN}IsAdmin
        UserInfo::GetAccountType
        Pop $0
        ${If} $0 == "Admin"
            Push 1
        ${Else}
            Push 0
        ${EndIf}
    FunctionEnd

    ; Runs regsvr32 ($R1) with flags ($R2) on a DLL ($R3) when the file is there; $0 is "" or what failed.
    Function ${UN}Regsvr32
        StrCpy $0 ""
        ${IfNot} ${FileExists} $R3
            Return
        ${EndIf}
        ClearErrors
        ExecWait '"$R1" /s $R2 $RegFlags "$R3"' $1
        ${If} ${Errors}
            StrCpy $0 "$R1 could not be started"
        ${ElseIf} $1 != 0
            StrCpy $0 "regsvr32 $R2 $RegFlags $R3 failed with code $1"
        ${EndIf}
    FunctionEnd

    ; Each DLL under $R0 with regsvr32 flags $R2; $0 is "" or the first failure.
    Function ${UN}RegisterEach
        ${If} ${RunningX64}
            StrCpy $R1 "$WINDIR\SysWOW64\regsvr32.exe"
        ${Else}
            StrCpy $R1 "$WINDIR\System32\regsvr32.exe"
        ${EndIf}
        StrCpy $R3 "$R0\x86\${DLL}"
        Call ${UN}Regsvr32
        ${If} $0 == ""
        ${AndIf} ${RunningX64}
!if ${NSIS_PTR_SIZE} > 4
            StrCpy $R1 "$WINDIR\System32\regsvr32.exe"
!else
            StrCpy $R1 "$WINDIR\Sysnative\regsvr32.exe"
!endif
            StrCpy $R3 "$R0\x64\${DLL}"
            Call ${UN}Regsvr32
        ${EndIf}
    FunctionEnd

    ; $0 becomes file $3 when it is there and a running program has it loaded (Windows then refuses to
    ; open it for writing); a $0 already set stays.
    Function ${UN}CheckLoaded
        ${If} $0 == ""
        ${AndIf} ${FileExists} $3
            ClearErrors
            FileOpen $2 $3 a
            ${If} ${Errors}
                StrCpy $0 $3
            ${Else}
                FileClose $2
            ${EndIf}
        ${EndIf}
    FunctionEnd

    ; The first file under $R0 that a running program has loaded, else "", in $0.
    Function ${UN}FindLoaded
        StrCpy $0 ""
        StrCpy $3 "$R0\x86\${DLL}"
        Call ${UN}CheckLoaded
        StrCpy $3 "$R0\x64\${DLL}"
        Call ${UN}CheckLoaded
        StrCpy $3 "$R0\${HOST}"
        Call ${UN}CheckLoaded
    FunctionEnd

    ; Unregisters what is under $R0, then removes the files: a registration never outlives its file. A file
    ; still loaded goes at the next restart. $0 is "" or why nothing was removed.
    Function ${UN}RemoveInstall
        StrCpy $R2 "/u"
        Call ${UN}RegisterEach
        ${If} $0 != ""
            Return
        ${EndIf}
        Delete /REBOOTOK "$R0\x86\${DLL}"
        Delete /REBOOTOK "$R0\x64\${DLL}"
        Delete /REBOOTOK "$R0\${HOST}"
        Delete "$R0\LICENSE.txt"
        Delete "$R0\uninstall.exe"
        ; Only after a file that waits for the restart: a folder marked so is otherwise not empty yet (the old
        ; version's uninstaller, run by setup, is still in it).
        ${If} ${RebootFlag}
            RMDir /REBOOTOK "$R0\x86"
            RMDir /REBOOTOK "$R0\x64"
            RMDir /REBOOTOK "$R0"
        ${Else}
            RMDir "$R0\x86"
            RMDir "$R0\x64"
            RMDir "$R0"
        ${EndIf}
        DeleteRegKey SHCTX "${UNINSTALL_KEY}"
    FunctionEnd
!macroend
!insertmacro Shared ""
!insertmacro Shared "un."

Function .onInit
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/CurrentUser" $1
    ${If} ${Errors}
        Call IsAdmin
        Pop $1
        IntOp $UserMode $1 ^ 1
    ${Else}
        StrCpy $UserMode 1
    ${EndIf}
    Call ApplyMode
    ${If} $INSTDIR != ""  ; from /D=
        Return
    ${ElseIf} $UserMode == 1
        StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${PRODUCT}"
    ${ElseIf} ${RunningX64}
        StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${Else}
        StrCpy $INSTDIR "$PROGRAMFILES\${PRODUCT}"
    ${EndIf}
FunctionEnd

!macro Fail TEXT
    MessageBox MB_OK|MB_ICONSTOP "${TEXT}" /SD IDOK
    SetErrorLevel 2
    Quit
!macroend

; An older version goes first, unregistered by its own uninstaller, so that nothing of it stays registered.
Function RemovePrevious
    ReadRegStr $R0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
    ${IfThen} $R0 == "" ${|} Return ${|}
    ${IfNotThen} ${FileExists} "$R0\uninstall.exe" ${|} Return ${|}
    Call FindLoaded
    ${If} $0 != ""
        !insertmacro Fail "A host has $0 loaded, so it cannot be replaced.$\r$\nClose every host that uses ${PRODUCT}, then run setup again."
    ${EndIf}
    DetailPrint "Removing the installed version from $R0"
    ClearErrors
    ExecWait '"$R0\uninstall.exe" /S _?=$R0' $1
    ${IfThen} ${Errors} ${|} StrCpy $1 "not started" ${|}
    ${If} $1 != 0
        !insertmacro Fail "The installed version in $R0 could not be removed (code $1).$\r$\nUninstall it from Apps & features, then run setup again."
    ${EndIf}
    Delete "$R0\uninstall.exe"
    RMDir "$R0"
FunctionEnd

; For the machine, the folder is closed to users before anything goes in: a folder chosen with /D= (C:\Vantor)
; would otherwise inherit its parent's permissions, which often let every user write, and any user could then
; replace the DLL that every user's host loads, or the uninstaller that the next setup runs elevated. It gets
; what Program Files gives users: owned by the administrators, administrators and SYSTEM full control, users read
; and execute, nothing inherited; what was in it already then only inherits that. The groups go by their
; SIDs, which every language shares. $0 is "" or what failed.
Function CloseFolderToUsers
    StrCpy $0 ""
    ${IfThen} $UserMode == 1 ${|} Return ${|}
    StrCpy $R1 '"$SYSDIR\icacls.exe" "$INSTDIR"'
    ClearErrors
    ExecWait '$R1 /setowner *S-1-5-32-544 /T /C /Q' $1
    ${IfNot} ${Errors}
    ${AndIf} $1 == 0
        ExecWait '$R1 /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX /Q' $1
    ${EndIf}
    ${If} ${Errors}
    ${OrIf} $1 != 0
        StrCpy $0 "icacls failed on $INSTDIR (code $1)"
        Return
    ${EndIf}
    ; An empty folder has nothing to reset, which icacls reports as a failure.
    ExecWait '"$SYSDIR\icacls.exe" "$INSTDIR\*" /reset /T /C /Q' $1
FunctionEnd

Section
    Call RemovePrevious
    CreateDirectory "$INSTDIR"
    Call CloseFolderToUsers
    ${If} $0 != ""
        RMDir "$INSTDIR"
        !insertmacro Fail "The folder $INSTDIR could not be closed to users, so ${PRODUCT} was not installed: $0."
    ${EndIf}
    SetOutPath "$INSTDIR"
    File "${STAGE}/LICENSE.txt"
!ifdef WITH_X86
    ; The 32-bit host runs on every Windows and loads the 32-bit DLL, which is what most hosts load.
    File "${STAGE}/x86/${HOST}"
    SetOutPath "$INSTDIR\x86"
    File "${STAGE}/x86/${DLL}"
!else
    File "${STAGE}/x64/${HOST}"
!endif
    ${If} ${RunningX64}
        SetOutPath "$INSTDIR\x64"
        File "${STAGE}/x64/${DLL}"
    ${EndIf}
    WriteUninstaller "$INSTDIR\uninstall.exe"

    StrCpy $R0 $INSTDIR
    StrCpy $R2 ""
    Call RegisterEach
    ${If} $0 != ""
        StrCpy $R4 $0
        Call RemoveInstall
        !insertmacro Fail "${PRODUCT} could not be registered: $R4."
    ${EndIf}

    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The mode is where the install's Apps & features entry is.
Function un.onInit
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
        StrCpy $UserMode 1
    ${Else}
        StrCpy $UserMode 0
        Call un.IsAdmin
        Pop $1
        ${If} $1 != 1
            !insertmacro Fail "${PRODUCT} was installed for every user: removing it needs administrator rights."
        ${EndIf}
    ${EndIf}
    Call un.ApplyMode
FunctionEnd

Section Uninstall
    StrCpy $R0 $INSTDIR
loaded:
    Call un.FindLoaded
    ${If} $0 != ""
        MessageBox MB_ABORTRETRYIGNORE|MB_ICONEXCLAMATION "A host has $0 loaded.$\r$\n$\r$\nClose the host and choose Retry. Ignore removes the file at the next restart of Windows. Abort leaves ${PRODUCT} installed." /SD IDIGNORE IDRETRY loaded IDIGNORE remove
        SetErrorLevel 1
        Quit
    ${EndIf}
remove:
    Call un.RemoveInstall
    ${If} $0 != ""
        !insertmacro Fail "${PRODUCT} could not be unregistered, so its files stay: $0."
    ${EndIf}
    IfRebootFlag 0 done
    MessageBox MB_OK|MB_ICONINFORMATION "${PRODUCT} is no longer registered. A host still has a file of it loaded: the file goes at the next restart of Windows." /SD IDOK
    SetErrorLevel ${REBOOT_REQUIRED}
done:
SectionEnd
