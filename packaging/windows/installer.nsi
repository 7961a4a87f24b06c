; The Windows installer of the host, built by scripts/package.sh with Debian's makensis:
; Program Files, a Start-menu entry, an optional start at login, inbound firewall rules
; for the host's ports on private networks, and an uninstaller in Apps & Features that
; takes all of it away again. Silent with /S; /AUTOSTART selects the start at login.
; Exits with 3 when Windows Firewall refused a rule (everything else is installed).
;
; Defines (makensis -D...): VERSION (x.y.z), HOST_EXE, README, NOTICES (a folder of
; licence texts), ICON, OUTFILE, CONTROL_PORT, MEDIA_PORT, INPUT_PORT.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

!define APP_NAME "Orvane Display Host"
!define APP_KEY "OrvaneDisplay"
!define PUBLISHER "The Orvane Display developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP_KEY}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SHORTCUT "$SMPROGRAMS\${APP_NAME}.lnk"
!define RULE_CONTROL "${APP_NAME} (control, TCP ${CONTROL_PORT})"
!define RULE_MEDIA "${APP_NAME} (media, UDP ${MEDIA_PORT})"
!define RULE_INPUT "${APP_NAME} (input, UDP ${INPUT_PORT})"

Name "${APP_NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Orvane Display"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${APP_NAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${APP_NAME} Setup"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; netsh is run from the system folder by its full path: an elevated installer that ran a
; bare "netsh" would take the first one found next to itself or in the current folder.
!macro AllowInbound NAME PROTOCOL PORT
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${NAME}"'
  Pop $0
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${NAME}" dir=in action=allow program="$INSTDIR\orvane-host.exe" protocol=${PROTOCOL} localport=${PORT} profile=private enable=yes'
  Pop $0
  ${If} $0 != 0
    ; The host is installed all the same; a silent install tells by its exit status.
    SetErrorLevel 3
    DetailPrint "Could not add the firewall rule $\"${NAME}$\" ($0)"
    MessageBox MB_ICONEXCLAMATION|MB_OK "Windows Firewall did not take the rule $\"${NAME}$\": devices on the network may not reach the host." /SD IDOK
  ${EndIf}
!macroend

!macro RemoveRule NAME
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${NAME}"'
  Pop $0
!macroend

Section "${APP_NAME}" SecHost
  SectionIn RO
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  ; A host that runs (started at login) keeps its executable open, but Windows lets a
  ; running image be renamed: the update goes in beside it and the old one goes as soon
  ; as it can, at the latest at the next restart.
  ${If} ${FileExists} "$INSTDIR\orvane-host.exe"
    Delete "$INSTDIR\orvane-host.exe.old"
    Rename "$INSTDIR\orvane-host.exe" "$INSTDIR\orvane-host.exe.old"
    Delete /REBOOTOK "$INSTDIR\orvane-host.exe.old"
  ${EndIf}
  File "/oname=orvane-host.exe" "${HOST_EXE}"
  File "/oname=README.md" "${README}"
  SetOutPath "$INSTDIR\licenses"
  File "${NOTICES}\*.txt"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "${SHORTCUT}" "$INSTDIR\orvane-host.exe" "" "$INSTDIR\orvane-host.exe" 0
  ; A reinstall without the start at login takes an earlier one away.
  DeleteRegValue HKLM "${RUN_KEY}" "${APP_KEY}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\orvane-host.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  !insertmacro AllowInbound "${RULE_CONTROL}" tcp ${CONTROL_PORT}
  !insertmacro AllowInbound "${RULE_MEDIA}" udp ${MEDIA_PORT}
  !insertmacro AllowInbound "${RULE_INPUT}" udp ${INPUT_PORT}
SectionEnd

Section /o "Start at login" SecAutostart
  WriteRegStr HKLM "${RUN_KEY}" "${APP_KEY}" '"$INSTDIR\orvane-host.exe" --background'
SectionEnd

Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/AUTOSTART" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecAutostart}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  !insertmacro RemoveRule "${RULE_CONTROL}"
  !insertmacro RemoveRule "${RULE_MEDIA}"
  !insertmacro RemoveRule "${RULE_INPUT}"
  DeleteRegValue HKLM "${RUN_KEY}" "${APP_KEY}"
  Delete "${SHORTCUT}"
  ; Only what the installer put there: the folder may hold the user's own files.
  Delete /REBOOTOK "$INSTDIR\orvane-host.exe"
  Delete /REBOOTOK "$INSTDIR\orvane-host.exe.old"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\licenses\*.txt"
  RMDir "$INSTDIR\licenses"
  Delete "$INSTDIR\uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
