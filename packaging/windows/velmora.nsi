; The Velmora's setup program. Built by cmake/packaging_windows.cmake, which
; passes VERSION (x.y.z), SCR (velmora.scr), ICON (velmora.ico) and OUTFILE.
;
; velmora.scr is a 64-bit program, so the installer is one too (the amd64
; stub): it then sees the real system folder and the 64-bit registry, with no
; file-system or registry redirection to undo, and it refuses to start on a
; 32-bit Windows, where the saver could not run anyway.
;
; Silent use: setup.exe /S installs and makes The Velmora the current screen
; saver; "uninstall.exe /S" removes it.

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define PRODUCT "The Velmora"
!define PUBLISHER "The Velmora developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora"
!define DESKTOP_KEY "Control Panel\Desktop"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey ProductName "${PRODUCT}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey FileDescription "${PRODUCT} setup"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey LegalCopyright "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!define MUI_WELCOMEPAGE_TEXT "This installs ${PRODUCT} ${VERSION}, a screen saver: the view through a window pane in the rain, with a small clock.$\r$\n$\r$\nIt is installed for every user of this computer, which needs administrator rights. You can remove it later under Apps && features (Add or remove programs).$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} is installed. It is listed among the screen savers in the display settings."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Open the screen saver settings"
!define MUI_FINISHPAGE_RUN_FUNCTION OpenSaverSettings
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE English

Function .onInit
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} is installed into the Windows system folder, which needs administrator rights. Please run the setup as an administrator." /SD IDOK
    SetErrorLevel 5 ; ERROR_ACCESS_DENIED
    Quit
  ${EndIf}
FunctionEnd

Function OpenSaverSettings
  Exec '"$SYSDIR\control.exe" desk.cpl,,@screensaver'
FunctionEnd

; Sets $0 to 1 when the current user's screen saver is The Velmora's file,
; under whatever folder and in whatever case the settings wrote it.
!macro NamesVelmora
  ReadRegStr $1 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${GetFileName} $1 $2
  StrCpy $0 0
  ${If} $2 == "velmora.scr" ; StrCmp ignores case
    StrCpy $0 1
  ${EndIf}
!macroend

Section "${PRODUCT} screen saver" SectionSaver
  SectionIn RO
  SetOutPath "$SYSDIR"
  File "/oname=velmora.scr" "${SCR}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; One fixed key: an upgrade over an earlier version rewrites the same entry.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$SYSDIR\velmora.scr,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$SYSDIR" "/M=velmora.scr /S=0K /G=0" $0 $1 $2
  ${GetSize} "$INSTDIR" "/S=0K" $3 $1 $2
  IntOp $0 $0 + $3
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Make it the current screen saver" SectionCurrent
  ; What the settings said before, so that the uninstaller can put it back.
  ; Not when The Velmora is already the saver (an upgrade): then the earlier
  ; installation's record stands.
  !insertmacro NamesVelmora
  ${If} $0 == 0
    ClearErrors
    ReadRegStr $1 HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
    ${If} ${Errors}
      StrCpy $1 "none"
    ${EndIf}
    WriteRegStr HKLM "${UNINSTALL_KEY}" "PreviousScreenSaveActive" $1
  ${EndIf}
  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$SYSDIR\velmora.scr"
  WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
SectionEnd

Section "Uninstall"
  Delete /REBOOTOK "$SYSDIR\velmora.scr"

  ; Another saver chosen since stays chosen.
  !insertmacro NamesVelmora
  ${If} $0 == 1
    DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ClearErrors
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "PreviousScreenSaveActive"
    ${IfNot} ${Errors}
      ${If} $1 == "none"
        DeleteRegValue HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
      ${Else}
        WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" $1
      ${EndIf}
    ${EndIf}
  ${EndIf}

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
