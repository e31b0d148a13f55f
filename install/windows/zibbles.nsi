; The installer of zibbles.scr: a 64-bit Unicode NSIS installer, built by install/windows/
; Installer.cmake with makensis. It puts the saver where Screen Saver Settings lists it (System32),
; selects it as the user's saver as right-click Install does (SCRNSAVE.EXE and ScreenSaveActive
; under HKCU\Control Panel\Desktop), remembers what it replaced, and registers an uninstaller
; that removes everything it added and puts the replaced saver back. /S installs silently.
;
; Defines given by the build: VERSION, SCR (the saver), LICENSE (the licence text), OUTFILE, and
; SIGN (a command that signs the file it is given in place) when a certificate is given.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all

!include LogicLib.nsh
!include x64.nsh

!define PRODUCT "Zibbles"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Zibbles"
; Per user: the saver this user had before, so that the uninstaller can give it back.
!define STATE_KEY "Software\Zibbles"
!define DESKTOP_KEY "Control Panel\Desktop"
!define SPI_SETSCREENSAVEACTIVE 17
!define SPIF_UPDATEINIFILE_SENDCHANGE 3

!ifdef SIGN
  !finalize '${SIGN} "%1"'
  !uninstfinalize '${SIGN} "%1"'
!endif

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
LicenseData "${LICENSE}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} screen saver setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "MIT licence"

Page license
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Zibbles"
  SetOutPath "$INSTDIR"
  File "/oname=LICENSE.txt" "${LICENSE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; A 64-bit installer writes to the real System32 (a 32-bit one would land in SysWOW64).
  SetOutPath "$SYSDIR"
  File "/oname=zibbles.scr" "${SCR}"
  SetOutPath "$INSTDIR"

  ; What this user had, remembered once: installing again over ourselves keeps the first memory.
  ClearErrors
  ReadRegStr $0 HKCU "${STATE_KEY}" "Remembered"
  ${If} ${Errors}
    ClearErrors
    ReadRegStr $1 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${If} ${Errors}
      WriteRegStr HKCU "${STATE_KEY}" "HadSaver" "0"
    ${Else}
      WriteRegStr HKCU "${STATE_KEY}" "HadSaver" "1"
      WriteRegStr HKCU "${STATE_KEY}" "Saver" "$1"
    ${EndIf}
    ClearErrors
    ReadRegStr $1 HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
    ${If} ${Errors}
      WriteRegStr HKCU "${STATE_KEY}" "HadActive" "0"
    ${Else}
      WriteRegStr HKCU "${STATE_KEY}" "HadActive" "1"
      WriteRegStr HKCU "${STATE_KEY}" "Active" "$1"
    ${EndIf}
    WriteRegStr HKCU "${STATE_KEY}" "Remembered" "1"
  ${EndIf}

  ; Selected, as right-click Install selects a saver.
  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$SYSDIR\zibbles.scr"
  System::Call 'user32::SystemParametersInfoW(i ${SPI_SETSCREENSAVEACTIVE}, i 1, p 0, i ${SPIF_UPDATEINIFILE_SENDCHANGE})'
  WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} screen saver"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$SYSDIR\zibbles.scr"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; The replaced saver comes back only while ours is still the one selected: a saver the user
  ; chose since is theirs to keep.
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${If} $0 == "$SYSDIR\zibbles.scr"
    ReadRegStr $1 HKCU "${STATE_KEY}" "HadSaver"
    ${If} $1 == "1"
      ReadRegStr $2 HKCU "${STATE_KEY}" "Saver"
      WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$2"
    ${Else}
      DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${EndIf}
    ReadRegStr $1 HKCU "${STATE_KEY}" "HadActive"
    ${If} $1 == "1"
      ReadRegStr $2 HKCU "${STATE_KEY}" "Active"
      WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "$2"
      System::Call 'user32::SystemParametersInfoW(i ${SPI_SETSCREENSAVEACTIVE}, i $2, p 0, i ${SPIF_UPDATEINIFILE_SENDCHANGE})'
    ${Else}
      DeleteRegValue HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
    ${EndIf}
  ${EndIf}
  DeleteRegKey HKCU "${STATE_KEY}"

  Delete "$SYSDIR\zibbles.scr"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; NSIS runs the uninstaller from a copy of itself in %TEMP% and marks the copy's folder, then the
  ; copy, to go at the next start: the folder, first, is not empty yet and stays. Marking them
  ; again, the copy first, leaves nothing behind.
  ${If} $EXEDIR != $INSTDIR
    Delete /REBOOTOK "$EXEPATH"
    RMDir /REBOOTOK "$EXEDIR"
  ${EndIf}
SectionEnd
