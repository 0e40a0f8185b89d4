; The Windows installer: per user, no administrator rights.
;   makensis -INPUTCHARSET UTF8 -DVERSION=x.y.z -DSTAGE=<folder> -DOUTFILE=<setup.exe> mirodex.nsi
; STAGE holds app\ (the program with its libraries, installed as they are) and
; books\ (the sample phone books, never written over an existing book).
; Silent: setup.exe /S [/AUTOSTART]; uninstall.exe /S [/PURGE] (PURGE also
; removes the books, the logs and the settings).
; 64-bit: Wine here runs 64-bit programs only, and so does every current Windows.
Target amd64-unicode
!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define PRODUCT "Lumeo电话簿"
!define VENDOR "Pellinor"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Mirodex"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SETTINGS_KEY "Software\Pellinor\Mirodex"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Mirodex"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel user
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${VENDOR}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=0 "LegalCopyright" "${VENDOR}"

!define MUI_ICON "${STAGE}\app\mirodex.ico"
!define MUI_UNICON "${STAGE}\app\mirodex.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\mirodex.exe"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\app\licenses\README.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

Section "!${PRODUCT}" SecProgram
    SectionIn RO
    SetOutPath "$INSTDIR"
    ; An update replaces the program, its libraries and plug-ins whole.
    RMDir /r "$INSTDIR\plugins"
    File /r "${STAGE}\app\*.*"
    ; The user's books stay as they are; only a missing one gets the sample.
    SetOverwrite off
    File "${STAGE}\books\*.txt"
    SetOverwrite on
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\mirodex.exe" "" "$INSTDIR\mirodex.exe" 0

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${VENDOR}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\mirodex.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "开机时启动 (Start with Windows)" SecAutostart
    WriteRegStr HKCU "${RUN_KEY}" "Mirodex" '"$INSTDIR\mirodex.exe"'
SectionEnd

Function .onInit
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/AUTOSTART" $R1
    ${IfNot} ${Errors}
        SectionSetFlags ${SecAutostart} ${SF_SELECTED}
    ${EndIf}
FunctionEnd

Section "un.${PRODUCT}" SecUnProgram
    SectionIn RO
    ; A running copy keeps its files open.
    nsExec::Exec 'taskkill /IM mirodex.exe /F'
    Delete "$INSTDIR\*.exe"
    Delete "$INSTDIR\*.dll"
    Delete "$INSTDIR\mirodex.ico"
    Delete "$INSTDIR\qt.conf"
    RMDir /r "$INSTDIR\plugins"
    RMDir /r "$INSTDIR\translations"
    RMDir /r "$INSTDIR\licenses"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegValue HKCU "${RUN_KEY}" "Mirodex"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ; Gone only when nothing of the user's is left in it.
    RMDir "$INSTDIR"
SectionEnd

Section /o "un.删除电话簿、日志和设置 (Remove books, logs and settings)" SecUnPurge
    Delete "$INSTDIR\PublicTel.txt"
    Delete "$INSTDIR\PublicTel.txt.bak"
    Delete "$INSTDIR\PrivateTel.txt"
    Delete "$INSTDIR\txl.log"
    Delete "$INSTDIR\TxlDebug.txt"
    RMDir "$INSTDIR"
    RMDir /r "$LOCALAPPDATA\Pellinor\Mirodex"
    RMDir "$LOCALAPPDATA\Pellinor"
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\Pellinor"
SectionEnd

Function un.onInit
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/PURGE" $R1
    ${IfNot} ${Errors}
        SectionSetFlags ${SecUnPurge} ${SF_SELECTED}
    ${EndIf}
FunctionEnd
